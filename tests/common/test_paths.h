// Paths for tests: a private scratch folder per process, and the built programs.
#pragma once

#include <string>

// A folder of this process's own under the temp folder, created on first use, e.g.
// C:\users\...\Temp\skp_test_1234\ ; each call with a name gives a fresh sub-path inside it.
std::wstring testScratchDir();
std::wstring testScratchPath(const std::wstring& name);

// The folder that holds hubhost.exe, skp_hub.dll and the product stand-in.
std::wstring testBinDir();
// The tests' source folder, ending with a backslash: where data files that tests read lie.
std::wstring testSourceDir();
// The folder of this test program, ending with a backslash: where a launcher's sk_res.dll lies.
std::wstring testExeFolder();

// The whole content of a file, or empty when it cannot be read.
std::string readFileBytes(const std::wstring& path);
bool fileExists(const std::wstring& path);
// Removes a folder and everything in it.
void removeTree(const std::wstring& path);

// A copy of a file put where a look-alike (or a needed file) is to lie, removed again with the
// object, also when the test stops early.
class PlantedCopy {
public:
    PlantedCopy(const std::wstring& source, const std::wstring& destination);
    ~PlantedCopy();
    PlantedCopy(const PlantedCopy&) = delete;
    PlantedCopy& operator=(const PlantedCopy&) = delete;
    bool planted() const { return m_bPlanted; }

private:
    std::wstring m_path;
    bool m_bPlanted;
};

// The product's resource library beside this test program, as beside the launcher, for the life of
// the object.
class LocalResourceLibrary : public PlantedCopy {
public:
    LocalResourceLibrary();
    bool copied() const { return planted(); }
};
