#include "app/undercam_options.h"

#include "app/command_boundary.h"
#include "fleet/bucket_layout.h"
#include "runtime/configuration.h"

#include <wx/button.h>
#include <wx/propgrid/advprops.h>
#include <wx/propgrid/propgrid.h>
#include <wx/sizer.h>
#include <wx/stattext.h>

wxBEGIN_EVENT_TABLE(undercam_options, wxDialog)
    EVT_BUTTON(wxID_OK, undercam_options::on_ok)
wxEND_EVENT_TABLE()

namespace {
// An enumeration whose stored text is not one of its choices shows (and, if
// confirmed, stores) the reader's default instead of an invalid selection.
wxEnumProperty* enumeration(const wxString& label, const wxString& key,
                            const std::vector<wxString>& choices, const wxString& stored,
                            const wxString& fallback) {
    wxArrayString labels;
    wxArrayInt values;
    for (size_t i = 0; i < choices.size(); ++i) {
        labels.push_back(choices[i]);
        values.push_back(int(i));
    }
    int selected = labels.Index(stored, true);
    if (selected == wxNOT_FOUND) selected = labels.Index(fallback, true);
    return new wxEnumProperty(label, key, labels, values, selected);
}

}  // namespace

undercam_options::undercam_options(wxWindow* parent, const app_link_ptr& link)
    : wxDialog(parent, wxID_ANY, L"Настройка программы", wxDefaultPosition,
               wxSize(int(wxGetDisplaySize().x * 0.7), int(wxGetDisplaySize().y * 0.7)),
               wxCAPTION | wxSYSTEM_MENU | wxCLOSE_BOX | wxRESIZE_BORDER),
      link_(link) {
    wxPropertyGrid::SetBoolChoices(L"Да", L"Нет");
    grid_ = new wxPropertyGrid(this, wxID_ANY, wxDefaultPosition, wxDefaultSize, 0);

    auto text = [&](const wxString& key, const wxString& fallback) {
        return link_->read_text(key, fallback);
    };
    auto category = [&](const wxString& name) {
        grid_->Append(new wxPropertyCategory(name, name));
    };

    category(L"Вагон");
    grid_->Append(enumeration(L"Борт", cfg::side, {L"левый", L"правый"},
                              text(cfg::side, cfg::side_default), cfg::side_default));
    category(L"Камера");
    grid_->Append(
        enumeration(L"Предпочтительный драйвер", cfg::driver, {"FilterDriver", "SocketDriver"},
                    text(cfg::driver, cfg::driver_dialog_default), cfg::driver_dialog_default));
    category(L"Изображение");
    grid_->Append(new wxBoolProperty(L"Разворачивать на 180", cfg::rotate180,
                                     link_->read_bool(cfg::rotate180, cfg::rotate180_default)));
    grid_->Append(new wxBoolProperty(L"Показывать линейку", cfg::show_scale,
                                     link_->read_bool(cfg::show_scale, cfg::show_scale_default)));
    grid_->Append(new wxFloatProperty(L"Масштаб линейки", cfg::scale,
                                      link_->read_double(cfg::scale, cfg::scale_default)));
    category(L"Запись");
    grid_->Append(new wxDirProperty(L"Каталог", cfg::write_path,
                                    text(cfg::write_path, cfg::write_path_default())));
    category(L"ДПП");
    grid_->Append(new wxStringProperty(L"Порт ДПП", cfg::dpp_port,
                                       text(cfg::dpp_port, cfg::dpp_port_default)));
    grid_->Append(enumeration(L"Формат ДПП", cfg::dpp_format, {L"ДПП4", L"ДПП7"},
                              text(cfg::dpp_format, cfg::dpp_format_default),
                              cfg::dpp_format_default));
    category(L"Сервер координат");
    grid_->Append(new wxBoolProperty(
        L"Запрашивать сервер координат", cfg::coordinate_server_enabled,
        link_->read_bool(cfg::coordinate_server_enabled, cfg::coordinate_server_enabled_default)));
    grid_->Append(new wxStringProperty(
        L"Адрес", cfg::coordinate_server_address,
        text(cfg::coordinate_server_address, cfg::coordinate_server_address_default)));
    grid_->Append(new wxStringProperty(
        L"Порт", cfg::coordinate_server_port,
        text(cfg::coordinate_server_port, cfg::coordinate_server_port_default)));
    grid_->Append(new wxIntProperty(L"Период опроса (секунды)", cfg::coordinate_server_query_period,
                                    link_->read_long(cfg::coordinate_server_query_period,
                                                     cfg::coordinate_server_query_period_default)));
    category(L"Служба доступа к данным");
    grid_->Append(
        new wxStringProperty(L"Порт", cfg::data_service_port,
                             text(cfg::data_service_port, cfg::data_service_port_default)));
    grid_->Append(new wxIntProperty(L"Наибольшее число соединений",
                                    cfg::data_service_max_connections,
                                    link_->read_long(cfg::data_service_max_connections,
                                                     cfg::data_service_max_connections_default)));
    category(L"Удаленное управление (требуется перезапуск)");
    grid_->Append(new wxBoolProperty(
        L"Разрешить удаленное управление", cfg::rc_service_enabled,
        link_->read_bool(cfg::rc_service_enabled, cfg::rc_service_enabled_default)));
    grid_->Append(new wxStringProperty(L"Порт", cfg::rc_service_port,
                                       text(cfg::rc_service_port, cfg::rc_service_port_default)));
    add_fleet_settings();

    problem_ = new wxStaticText(this, wxID_ANY, wxEmptyString);
    problem_->SetForegroundColour(*wxRED);
    auto* buttons = new wxBoxSizer(wxHORIZONTAL);
    buttons->Add(new wxButton(this, wxID_OK, "Ok"), 0, wxALL, 10);
    buttons->Add(new wxButton(this, wxID_CANCEL, L"Отмена"), 0, wxALL, 10);
    auto* column = new wxBoxSizer(wxVERTICAL);
    column->Add(grid_, 1, wxEXPAND | wxALL, 10);
    column->Add(problem_, 0, wxEXPAND | wxLEFT | wxRIGHT, 10);
    column->Add(buttons, 0, wxALIGN_RIGHT);
    SetSizer(column);
    CentreOnParent(wxBOTH);
}

void undercam_options::add_fleet_settings() {
    const auto text = [&](const wxString& key, const wxString& fallback = {}) {
        return link_->read_text(key, fallback);
    };
    grid_->Append(new wxPropertyCategory(L"Хранилище парка", L"Хранилище парка"));
    grid_->Append(
        new wxBoolProperty(L"Выгружать записи в хранилище парка", cfg::fleet_enabled,
                           link_->read_bool(cfg::fleet_enabled, cfg::fleet_enabled_default)));
    grid_->Append(new wxStringProperty(L"Адрес (http:// или https://)", cfg::fleet_endpoint,
                                       text(cfg::fleet_endpoint)));
    grid_->Append(new wxStringProperty(L"Регион", cfg::fleet_region,
                                       text(cfg::fleet_region, cfg::fleet_region_default)));
    grid_->Append(new wxStringProperty(L"Корзина", cfg::fleet_bucket, text(cfg::fleet_bucket)));
    grid_->Append(
        new wxStringProperty(L"Ключ доступа", cfg::fleet_access_key, text(cfg::fleet_access_key)));
    auto* secret = grid_->Append(new wxStringProperty(L"Секретный ключ", cfg::fleet_secret_key,
                                                      text(cfg::fleet_secret_key)));
    secret->SetAttribute(wxPG_STRING_PASSWORD, true);
    grid_->Append(new wxStringProperty(L"Имя вагона (латинские буквы, цифры, . _ -)",
                                       cfg::fleet_vehicle, text(cfg::fleet_vehicle)));
    grid_->Append(
        new wxIntProperty(L"Наибольшая скорость, КБ/с (0 — без ограничения)", cfg::fleet_max_rate,
                          link_->read_long(cfg::fleet_max_rate, cfg::fleet_max_rate_default)));
    grid_->Append(new wxFileProperty(L"Сертификаты хранилища (пусто — системные)",
                                     cfg::fleet_ca_file, text(cfg::fleet_ca_file)));
}

bool undercam_options::check_settings() {
    const auto refuse = [this](const wxString& key, const wxString& why) {
        problem_->SetLabel(why);
        grid_->SelectProperty(key, true);
        Layout();
        return false;
    };
    const wxString vehicle = grid_->GetPropertyValueAsString(cfg::fleet_vehicle);
    if (!vehicle.empty() && !bucket_layout::is_vehicle_name(vehicle.ToStdString(wxConvUTF8))) {
        return refuse(cfg::fleet_vehicle,
                      L"Имя вагона: только латинские буквы, цифры, точка, "
                      L"дефис и подчеркивание, до 64 знаков");
    }
    if (grid_->GetPropertyValueAsLong(cfg::fleet_max_rate) < 0)
        return refuse(cfg::fleet_max_rate, L"Наибольшая скорость не может быть меньше нуля");
    problem_->SetLabel(wxEmptyString);
    return true;
}

wxString undercam_options::problem() const {
    return problem_->GetLabel();
}

void undercam_options::write_settings() {
    link_->with_config([this](wxConfigBase& config) {
        for (wxPropertyGridIterator it = grid_->GetIterator(); !it.AtEnd(); ++it) {
            wxPGProperty* p = *it;
            if (p->IsCategory()) continue;
            const wxString key = p->GetName();
            // A checked cast: wxDynamicCast converts the pointer before it checks the type.
            if (dynamic_cast<wxBoolProperty*>(p)) {
                config.Write(key, p->GetValue().GetBool());
            } else if (dynamic_cast<wxFloatProperty*>(p)) {
                config.Write(key, p->GetValue().GetDouble());
            } else if (dynamic_cast<wxIntProperty*>(p)) {
                config.Write(key, wxString::Format("%ld", p->GetValue().GetLong()));
            } else {
                // Enumerations write the text of their choice; texts and the folder as they are.
                config.Write(key, p->GetValueAsString());
            }
        }
    });
}

void undercam_options::on_ok(wxCommandEvent&) {
    run_guarded([this] {
        if (!check_settings()) return;
        write_settings();
        EndModal(wxID_OK);
    });
}
