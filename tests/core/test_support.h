// Helpers shared by the core tests, native and under Wine alike.
#pragma once
#include <string>

// Path of a file in tests/data.
std::string TestDataPath(const std::string &name);

std::string ReadFileBytes(const std::string &path);
void WriteFileBytes(const std::string &path, const std::string &bytes);
bool FileExists(const std::string &path);
void RemoveFolder(const std::string &path);  // an empty one

// A fresh folder for one test, removed with its files at the end.
class TempFolder {
public:
    TempFolder();
    ~TempFolder();
    std::string Path(const std::string &name) const;
    const std::string &Path() const { return path_; }

private:
    std::string path_;
};

// Points SettingsPath at `ini` and DataFolderPath at `data` for one test.
void UseSettingsFile(const std::string &ini, const std::string &data);

// Fills the host function table's text conversions with test stand-ins that
// convert UTF-8 and EUC-JP into code page 932, and counts their calls.
void InstallTestHostConversions();
extern int HostConversionCalls;
