// Paths for tests: a private scratch folder per process, and the built programs.
#pragma once

#include <string>

// A folder of this process's own under the temp folder, created on first use, e.g.
// C:\users\...\Temp\skp_test_1234\ ; each call with a name gives a fresh sub-path inside it.
std::wstring testScratchDir();
std::wstring testScratchPath(const std::wstring& name);

// The folder that holds hubhost.exe, skp_hub.dll and the product stand-in.
std::wstring testBinDir();

// The whole content of a file, or empty when it cannot be read.
std::string readFileBytes(const std::wstring& path);
bool fileExists(const std::wstring& path);
// Removes a folder and everything in it.
void removeTree(const std::wstring& path);
