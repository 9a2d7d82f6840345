// The class store that DllRegisterServer writes and DllUnregisterServer
// cleans: an INI text file naming, for every class, its CLSID, programmatic
// identifier, server file, threading model, interface and type library.
// server/halvane_com.h documents the format for hosts.
#pragma once

#include <string>
#include <string_view>

namespace halvane::automation {

// $HALVANE_CLASS_STORE when set and not empty, else
// $XDG_CONFIG_HOME/halvane/classes.ini, else $HOME/.config/halvane/classes.ini;
// empty when none of these variables is set.
std::string ClassStorePath();

// The sections registration writes for a server file at `server_path`, each
// ending with a blank line.
std::string RegistrationText(std::string_view server_path);

// Puts the sections into the store at `store_path` (creating the file and
// its directory), replacing earlier copies of them and keeping everything
// else.  False when the store cannot be read or written.
bool RegisterClasses(const std::string& store_path, std::string_view server_path);

// Removes those sections; deletes the file when nothing else is left.  A
// missing store is already unregistered.  False when it cannot be written.
bool UnregisterClasses(const std::string& store_path);

}  // namespace halvane::automation
