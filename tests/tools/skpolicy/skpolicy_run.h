// skpolicy run inside the test's process (and so inside its scratch registry), with what it
// printed as UTF-8.
#pragma once

#include <sstream>
#include <string>
#include <vector>

#include "skpolicy.h"

struct SkpolicyResult {
    int rc;
    std::string out;
    std::string err;
};

inline std::string narrow(const std::wstring& text)
{
    return skpolicy::toUtf8(text);
}

inline SkpolicyResult skpolicyRun(const std::vector<std::wstring>& args)
{
    std::wstring out;
    std::wstring err;
    const int rc = skpolicy::run(args, out, err);
    return {rc, narrow(out), narrow(err)};
}

inline std::vector<std::string> lines(const std::string& text)
{
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        out.push_back(line);
    return out;
}
