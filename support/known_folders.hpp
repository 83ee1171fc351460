// Known folders of the user and the machine, resolved through the shell.
#pragma once
#include <windows.h>
#include <shtypes.h>
#include <string>

namespace qv {

// The folder's path without trailing separator; not verified to exist.
// Throws std::system_error with the HRESULT when the shell fails.
std::wstring known_folder(const KNOWNFOLDERID& folder_id);

// Computed on the first successful call, then returned as a copy.
std::wstring documents_folder();
std::wstring common_data_folder();   // ProgramData\Quorvane Systems
std::wstring roaming_data_folder();  // roaming AppData\Quorvane Systems

// `folder` and `name` joined with one backslash.
std::wstring join_folder(const std::wstring& folder, const std::wstring& name);

}  // namespace qv
