// The library as the launcher's loader sees it: exactly the five exports under their undecorated
// names, and among its imports none of the pipe's server calls (the plug-in is a client only).
#include <windows.h>
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "ksl_scoped_handle.h"
#include "test_paths.h"

namespace {

// The library's image as mapped for reading: sections at their addresses, nothing run.
class MappedImage {
public:
    explicit MappedImage(const std::wstring& path)
        : m_hModule(LoadLibraryExW(path.c_str(), nullptr, LOAD_LIBRARY_AS_IMAGE_RESOURCE | LOAD_LIBRARY_AS_DATAFILE))
    {
    }
    bool valid() const { return m_hModule.valid(); }

    template <class T>
    const T* at(DWORD dwRva) const
    {
        return reinterpret_cast<const T*>(base() + dwRva);
    }
    const IMAGE_DATA_DIRECTORY& directory(int nEntry) const
    {
        const auto* pDos = at<IMAGE_DOS_HEADER>(0);
        return at<IMAGE_NT_HEADERS>(static_cast<DWORD>(pDos->e_lfanew))->OptionalHeader.DataDirectory[nEntry];
    }

    std::set<std::string> exportNames() const
    {
        std::set<std::string> names;
        const auto* pExports = at<IMAGE_EXPORT_DIRECTORY>(directory(IMAGE_DIRECTORY_ENTRY_EXPORT).VirtualAddress);
        const auto* pNames = at<DWORD>(pExports->AddressOfNames);
        for (DWORD i = 0; i < pExports->NumberOfNames; ++i)
            names.insert(at<char>(pNames[i]));
        return names;
    }

    // "DLL!function" for every function imported by name.
    std::set<std::string> importNames() const
    {
        std::set<std::string> names;
        for (const auto* pImport = at<IMAGE_IMPORT_DESCRIPTOR>(directory(IMAGE_DIRECTORY_ENTRY_IMPORT).VirtualAddress);
             pImport->Name != 0; ++pImport) {
            const std::string dll = at<char>(pImport->Name);
            for (const auto* pThunk = at<IMAGE_THUNK_DATA>(pImport->OriginalFirstThunk); pThunk->u1.AddressOfData != 0;
                 ++pThunk) {
                if (!IMAGE_SNAP_BY_ORDINAL(pThunk->u1.Ordinal))
                    names.insert(dll + "!" +
                                 at<IMAGE_IMPORT_BY_NAME>(static_cast<DWORD>(pThunk->u1.AddressOfData))->Name);
            }
        }
        return names;
    }

private:
    // The tag in the low bits marks a module mapped as an image resource.
    const BYTE* base() const
    {
        return reinterpret_cast<const BYTE*>(reinterpret_cast<ULONG_PTR>(m_hModule.get()) & ~static_cast<ULONG_PTR>(3));
    }

    CKSLScopedModule m_hModule;
};

TEST(LibraryImage, ExportsTheFiveNamesAndImportsNoServerCall)
{
    const MappedImage image(testBinDir() + L"skp_hub.dll");
    ASSERT_TRUE(image.valid());
    const std::set<std::string> expected = {"LP_BackupNow", "LP_GetCapability", "LP_GetFunctionInfo", "LP_GetStatus",
                                            "LP_Rejuvenate"};
    EXPECT_EQ(expected, image.exportNames());
    const std::set<std::string> imports = image.importNames();
    EXPECT_EQ(1u, imports.count("KERNEL32.dll!CreateFileW")) << "the client opens the pipe";
    for (const char* wcsServerCall : {"KERNEL32.dll!CreateNamedPipeW", "KERNEL32.dll!ConnectNamedPipe"})
        EXPECT_EQ(0u, imports.count(wcsServerCall)) << wcsServerCall;
}

} // namespace
