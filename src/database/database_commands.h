// The maintenance commands' work on a recorded database, without dialogs:
// delete, archive into a zip file, relabel. User-interface thread.
#pragma once

#include <wx/string.h>

#include <string>

// Removes the first catalogue entry with exactly this path and the folder
// with everything in it. Whatever
// could not be removed stays; the entry goes all the same.
void delete_database(const wxString& path);

struct archive_outcome {
    enum kind { written, not_created, folder_not_added, file_failed } result = written;
    wxString message;  // the text for a message box or the journal
};

// Writes the zip archive of the database folder: a directory entry named
// after the folder, then "<folder>/<file>" for every file below it in
// listing order, names marked UTF-8. The station's idle handle of the
// database is closed first. The archive is written only when every file went
// in; otherwise `zip_path` is left as it was.
archive_outcome archive_database(const wxString& folder, const wxString& zip_path);

// Rewrites "version" and the side or session of a database with a
// short-lived writer (frames and "count" stay), and shows the new text in
// its catalogue row at once. Throws the store's status text.
void replace_side(const wxString& path, const std::string& side);
void replace_session(const wxString& path, const std::string& session);

// The seeking read of "session" through a short-lived writer ("" when none).
std::string stored_session(const wxString& path);
