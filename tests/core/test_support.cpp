#include "test_support.h"

#include "shell/host_functions.h"
#include "base/process_values.h"

#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>

#ifdef _WIN32
#include <windows.h>
#else
#include <dirent.h>
#include <iconv.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

int HostConversionCalls;

std::string TestDataPath(const std::string &name) { return std::string(KIV_TEST_DATA_DIR) + "/" + name; }

std::string ReadFileBytes(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

void WriteFileBytes(const std::string &path, const std::string &bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), std::streamsize(bytes.size()));
}

bool FileExists(const std::string &path)
{
    FILE *f = fopen(path.c_str(), "rb");
    if (f)
        fclose(f);
    return f != nullptr;
}

void RemoveFolder(const std::string &path)
{
#ifdef _WIN32
    RemoveDirectoryA(path.c_str());
#else
    rmdir(path.c_str());
#endif
}

#ifdef _WIN32
TempFolder::TempFolder()
{
    char base[MAX_PATH], name[MAX_PATH];
    GetTempPathA(sizeof base, base);
    GetTempFileNameA(base, "kvt", 0, name);
    DeleteFileA(name);
    CreateDirectoryA(name, nullptr);
    path_ = name;
}

TempFolder::~TempFolder()
{
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((path_ + "\\*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do
            DeleteFileA((path_ + "\\" + found.cFileName).c_str());
        while (FindNextFileA(search, &found));
        FindClose(search);
    }
    RemoveDirectoryA(path_.c_str());
}

std::string TempFolder::Path(const std::string &name) const { return path_ + "\\" + name; }

namespace {
const char *ConvertCodePage(UINT from, const char *text)
{
    static thread_local std::string result;
    int wide = MultiByteToWideChar(from, 0, text, -1, nullptr, 0);
    std::wstring buffer(size_t(wide > 0 ? wide : 1), L'\0');
    MultiByteToWideChar(from, 0, text, -1, &buffer[0], wide);
    int narrow = WideCharToMultiByte(932, 0, buffer.c_str(), -1, nullptr, 0, nullptr, nullptr);
    result.assign(size_t(narrow > 0 ? narrow : 1), '\0');
    WideCharToMultiByte(932, 0, buffer.c_str(), -1, &result[0], narrow, nullptr, nullptr);
    return result.c_str();
}
}  // namespace

static const char *WINAPI TestUtf8(const char *text, int) { ++HostConversionCalls; return ConvertCodePage(CP_UTF8, text); }
static const char *WINAPI TestEucJp(const char *text, int) { ++HostConversionCalls; return ConvertCodePage(20932, text); }
#else
TempFolder::TempFolder()
{
    char name[] = "/tmp/kvtXXXXXX";
    path_ = mkdtemp(name);
}

TempFolder::~TempFolder()
{
    if (DIR *dir = opendir(path_.c_str())) {
        while (dirent *entry = readdir(dir))
            if (strcmp(entry->d_name, ".") && strcmp(entry->d_name, ".."))
                unlink((path_ + "/" + entry->d_name).c_str());
        closedir(dir);
    }
    rmdir(path_.c_str());
}

std::string TempFolder::Path(const std::string &name) const { return path_ + "/" + name; }

namespace {
const char *ConvertCodePage(const char *from, const char *text)
{
    static thread_local std::string result;
    iconv_t cd = iconv_open("CP932//TRANSLIT", from);
    std::string in(text);
    result.assign(in.size() * 2 + 4, '\0');
    char *src = &in[0], *dst = &result[0];
    size_t left = in.size(), room = result.size() - 1;
    while (left > 0 && iconv(cd, &src, &left, &dst, &room) == size_t(-1)) {
        // Unconvertible input: keep a replacement and go on, as a host would.
        ++src, --left;
        if (room > 1)
            *dst++ = '?', --room;
    }
    iconv_close(cd);
    result.resize(size_t(dst - &result[0]));
    return result.c_str();
}
}  // namespace

static const char *TestUtf8(const char *text, int) { ++HostConversionCalls; return ConvertCodePage("UTF-8", text); }
static const char *TestEucJp(const char *text, int) { ++HostConversionCalls; return ConvertCodePage("EUC-JP", text); }
#endif

void InstallTestHostConversions()
{
    HostFunctions.entries[HostUTF_8] = FunctionCast<FARPROC>(&TestUtf8);
    HostFunctions.entries[HostEUC_JP] = FunctionCast<FARPROC>(&TestEucJp);
    HostConversionCalls = 0;
}

void UseSettingsFile(const std::string &ini, const std::string &data)
{
    snprintf(SettingsPath, sizeof SettingsPath, "%s", ini.c_str());
    snprintf(DataFolderPath, sizeof DataFolderPath, "%s", data.c_str());
}
