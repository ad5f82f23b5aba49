// skpolicy: the administrator's view of Safekeep's settings.
//
//   skpolicy report [--all] [--json] [--id N]... [--name TEXT] [--zdr CLIENT]
//                   [--pol FILE [--scope machine|user]]
//   skpolicy set ID VALUE --location NAME [--zdr CLIENT]
//   skpolicy clear ID --location NAME [--zdr CLIENT]
//   skpolicy admx --out DIR
//   skpolicy pol export FILE [--scope machine|user]
//   skpolicy pol import FILE [--scope machine|user]
//
// Everything goes through the product policy objects of the plug-in and their library classes:
// the report shows what a lookup answers and where that comes from, set and clear use the
// settings' own write path. pol export and import carry the policy branch of the machine or the
// user to and from a Group Policy registry file (pol_branch.h); report --pol shows the settings as
// that file would leave them.
#pragma once

#include <string>
#include <vector>

namespace skpolicy {

// Runs one command (the arguments after the program name); what it prints goes to out, its
// complaints to err. 0 done, 1 refused or failed, 2 a command line it does not understand.
int run(const std::vector<std::wstring>& args, std::wstring& out, std::wstring& err);

// The text as UTF-8, the form of everything skpolicy writes.
std::string toUtf8(const std::wstring& text);

} // namespace skpolicy
