#include "database/database_commands.h"

#include "database/catalogue.h"
#include "database/ldb_writer.h"
#include "database/shared_store.h"
#include "runtime/text_encoding.h"

#include <wx/dir.h>
#include <wx/filename.h>

#include <zip.h>

void delete_database(const wxString& path) {
    catalogue::instance().remove(path);
    shared_store::release(to_narrow(path));
    wxFileName::Rmdir(path, wxPATH_RMDIR_RECURSIVE);
}

archive_outcome archive_database(const wxString& folder, const wxString& zip_path) {
    // A handle the station keeps idle would hold the folder's lock while its
    // files go into the archive.
    shared_store::release(to_narrow(folder));
    wxArrayString files;
    wxDir::GetAllFiles(folder, &files, wxEmptyString, wxDIR_FILES | wxDIR_DIRS | wxDIR_HIDDEN);
    int error = 0;
    zip_t* archive = zip_open(zip_path.utf8_str(), ZIP_CREATE | ZIP_TRUNCATE, &error);
    if (!archive) {
        return {archive_outcome::not_created, L"Не удалось создать архив: " + zip_path};
    }
    const wxString name = wxFileName::DirName(folder).GetDirs().Last();
    if (zip_dir_add(archive, name.utf8_str(), ZIP_FL_ENC_UTF_8) < 0) {
        zip_discard(archive);
        return {archive_outcome::folder_not_added, L"Не удалось добавить папку в архив: " + folder};
    }
    for (const wxString& file : files) {
        zip_source_t* source = zip_source_file(archive, to_narrow(file).c_str(), 0, -1);
        if (!source) {
            zip_discard(archive);
            return {archive_outcome::file_failed,
                    wxString::Format(L"Не удалось открыть файл: %s", file)};
        }
        const wxString base = wxFileName(file).GetFullName();
        const wxString entry = name + wxFileName::GetPathSeparator() + base;
        if (zip_file_add(archive, entry.utf8_str(), source, ZIP_FL_ENC_UTF_8) < 0) {
            zip_source_free(source);
            zip_discard(archive);
            return {archive_outcome::file_failed,
                    wxString::Format(L"Не удалось записать файл в архив: %s", base)};
        }
    }
    // libzip writes the archive only now, beside the target, and then puts it in place.
    if (zip_close(archive) < 0) {
        zip_discard(archive);
        return {archive_outcome::not_created, L"Не удалось создать архив: " + zip_path};
    }
    return {};
}

void replace_side(const wxString& path, const std::string& side) {
    ldb_writer writer;
    writer.open(to_narrow(path));
    writer.put_side(side);
    writer.release();
    catalogue::instance().relabel(path, [&](ldb_info& info) { info.side = side; });
}

void replace_session(const wxString& path, const std::string& session) {
    ldb_writer writer;
    writer.open(to_narrow(path));
    writer.put_session(session);
    writer.release();
    catalogue::instance().relabel(path, [&](ldb_info& info) { info.session = session; });
}

std::string stored_session(const wxString& path) {
    ldb_writer writer;
    writer.open(to_narrow(path));
    const std::string session = writer.read_session();
    writer.release();
    return session;
}
