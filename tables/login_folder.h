#pragma once
// The login folder: a private temporary folder per running copy, marked as in use by the file
// USER inside it, which the copy holds open with exclusive access until it ends.
#include <string>

namespace kv::db {

// Creates the folder and its USER file, keeps USER open exclusively as the login lock handle,
// and makes the folder (with a trailing separator) the login folder and ACS_TEMP. False, with
// nothing kept, when the folder or its file cannot be made.
bool make_login_folder(const std::string& folder);

// The login folder for a temporary name: the temporary folder + "/" + name.
std::string login_folder_for(const std::string& name);

}  // namespace kv::db
