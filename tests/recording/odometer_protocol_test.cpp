// Odometer messages from the byte stream, and the port names.
#include "recording/odometer_protocol.h"
#include "recording/odometer_test.h"
#include "support/pty_pair.h"
#include "recording/serial_link.h"

#include <gtest/gtest.h>

#include <thread>

namespace {

std::vector<uint32_t> feed(odometer_format format, const std::vector<uint8_t>& bytes) {
    odometer_decoder decoder(format);
    std::vector<uint32_t> values;
    for (uint8_t b : bytes) {
        if (auto v = decoder.push(b)) values.push_back(*v);
    }
    return values;
}

}  // namespace

TEST(odometer_decoder, old_format_takes_six_bits_from_each_positioned_byte) {
    EXPECT_EQ(feed(odometer_old, {0x24, 0x41, 0x80, 0xC0}), std::vector<uint32_t>{100});
    uint8_t m[4];
    encode_odometer_old(16777215, m);
    EXPECT_EQ(feed(odometer_old, {m, m + 4}), std::vector<uint32_t>{16777215});
    EXPECT_TRUE(feed(odometer_old, {0x24, 0x41, 0xC0, 0x80}).empty());  // positions out of order
}

TEST(odometer_decoder, new_format_checks_header_and_checksum) {
    EXPECT_EQ(feed(odometer_new, {0x53, 0x04, 0x64, 0x00, 0x00, 0x00, 0xBB}),
              std::vector<uint32_t>{100});
    EXPECT_TRUE(feed(odometer_new, {0x53, 0x04, 0x64, 0x00, 0x00, 0x00, 0xBC}).empty());
    uint8_t m[7];
    encode_odometer_new(4294967295u, m);
    EXPECT_EQ(feed(odometer_new, {m, m + 7}), std::vector<uint32_t>{4294967295u});
}

TEST(odometer_decoder, stray_bytes_are_skipped_and_back_to_back_messages_both_count) {
    EXPECT_EQ(feed(odometer_new, {0x00, 0x53, 0x53, 0x04, 0x64, 0x00, 0x00, 0x00, 0xBB,  //
                                  0x53, 0x04, 0x69, 0x00, 0x00, 0x00, 0xC0}),
              (std::vector<uint32_t>{100, 105}));
    EXPECT_EQ(feed(odometer_old, {0xFF, 0x24, 0x41, 0x80, 0xC0, 0x29, 0x41, 0x80, 0xC0}),
              (std::vector<uint32_t>{100, 105}));
}

TEST(odometer_decoder, each_format_is_deaf_to_the_other) {
    uint8_t n[7], o[4];
    std::vector<uint8_t> news, olds;
    for (uint32_t v : {100u, 105u, 110u}) {
        encode_odometer_new(v, n);
        encode_odometer_old(v, o);
        news.insert(news.end(), n, n + 7);
        olds.insert(olds.end(), o, o + 4);
    }
    EXPECT_TRUE(feed(odometer_old, news).empty());
    EXPECT_TRUE(feed(odometer_new, olds).empty());
    EXPECT_EQ(feed(odometer_new, news).size(), 3u);
    EXPECT_EQ(feed(odometer_old, olds).size(), 3u);
}

TEST(serial_link, port_names_map_to_devices) {
    EXPECT_EQ(serial_port_path("COM1"), "/dev/ttyS0");
    EXPECT_EQ(serial_port_path("COM10"), "/dev/ttyS9");
    EXPECT_EQ(serial_port_path("/dev/ttyUSB0"), "/dev/ttyUSB0");
    EXPECT_EQ(serial_port_path("ttyACM0"), "/dev/ttyACM0");
    EXPECT_EQ(odometer_test_ports(),
              (std::vector<std::string>{"COM1", "COM10", "COM2", "COM3", "COM4", "COM5", "COM6",
                                        "COM7", "COM8", "COM9"}));
}

TEST(odometer_test, tells_silence_new_and_old_format_apart) {
    pty_pair silent;
    EXPECT_EQ(probe_odometer(silent.path()), odometer_probe::not_found);

    pty_pair fresh;
    std::thread sender([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
        fresh.send_new(100);
    });
    EXPECT_EQ(probe_odometer(fresh.path()), odometer_probe::new_format);
    sender.join();

    pty_pair old;
    old.send_old(100);
    EXPECT_EQ(probe_odometer(old.path()), odometer_probe::old_format);

    EXPECT_EQ(probe_odometer("/dev/no-such-port"), odometer_probe::unavailable);
    const auto lines = run_odometer_test({"/dev/no-such-port", silent.path()});
    EXPECT_EQ(lines, (std::vector<std::string>{
                         "Тест ДПП:", "Последовательный порт /dev/no-such-port", "недоступен",
                         "Последовательный порт " + silent.path(), "ДПП не найден"}));
}
