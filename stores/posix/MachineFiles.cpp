#include "MachineFiles.h"

#include <algorithm>
#include <fstream>
#include <sstream>
#include <vector>

namespace platform::machine {
namespace {

const fs::path kRecord = "/usr/local/share/certinstall";

// What was made here, a path a line, the deepest last.
fs::path MadeList() {
    return kRecord / "made";
}
fs::path OriginalCopy(const fs::path& file) {
    std::string name = file.string();
    std::replace(name.begin(), name.end(), '/', '%');
    return kRecord / "originals" / name;
}

std::vector<std::string> Made() {
    std::vector<std::string> made;
    std::istringstream lines(ReadFile(MadeList()).value_or(""));
    for (std::string line; std::getline(lines, line);)
        made.push_back(line);
    return made;
}

bool WasMade(const fs::path& path) {
    const auto made = Made();
    return std::find(made.begin(), made.end(), path.string()) != made.end();
}

// Writes whole: a reader sees the old file or the new one, never a part.
void WriteWhole(const fs::path& file, const std::string& contents) {
    const fs::path temporary = file.string() + ".certinstall-new";
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        out << contents;
        out.close();
        if (!out)
            throw fs::filesystem_error("cannot write", temporary,
                                       std::make_error_code(std::errc::io_error));
    }
    fs::permissions(temporary, fs::perms::owner_read | fs::perms::owner_write |
                                   fs::perms::group_read | fs::perms::others_read);
    fs::rename(temporary, file);
}

void Remember(const fs::path& made) {
    std::string list = ReadFile(MadeList()).value_or("");
    fs::create_directories(kRecord);
    WriteWhole(MadeList(), list + made.string() + "\n");
}

void Forget(const fs::path& made) {
    auto list = Made();
    list.erase(std::remove(list.begin(), list.end(), made.string()), list.end());
    std::string contents;
    for (const std::string& line : list)
        contents += line + "\n";
    WriteWhole(MadeList(), contents);
}

// The record's own folder goes once it records nothing.
void TidyRecord() {
    if (Made().empty())
        fs::remove(MadeList());
    for (const fs::path& folder : {kRecord / "originals", kRecord})
        if (fs::is_directory(folder) && fs::is_empty(folder))
            fs::remove(folder);
}

// The folder and those above it that are missing, made and remembered outermost first.
void MakeFolders(const fs::path& folder) {
    if (fs::exists(folder))
        return;
    MakeFolders(folder.parent_path());
    fs::create_directory(folder);
    fs::permissions(folder, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                                fs::perms::others_read | fs::perms::others_exec);
    Remember(folder);
}

} // namespace

std::optional<std::string> ReadFile(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    if (!in)
        return std::nullopt;
    std::ostringstream contents;
    contents << in.rdbuf();
    return contents.str();
}

void WriteFile(const fs::path& file, const std::string& contents) {
    MakeFolders(file.parent_path());
    if (!fs::exists(file)) {
        WriteWhole(file, contents);
        Remember(file);
        return;
    }
    KeepOriginal(file);
    WriteWhole(file, contents);
}

void RemoveFile(const fs::path& file) {
    fs::remove(file);
    Forget(file);
    for (fs::path folder = file.parent_path(); WasMade(folder) && fs::is_empty(folder);
         folder = folder.parent_path()) {
        fs::remove(folder);
        Forget(folder);
    }
    TidyRecord();
}

// The copy keeps the file's mode as well.
void KeepOriginal(const fs::path& file) {
    if (!fs::exists(file) || WasMade(file) || fs::exists(OriginalCopy(file)))
        return;
    fs::create_directories(OriginalCopy(file).parent_path());
    fs::copy_file(file, OriginalCopy(file));
}

std::optional<std::string> Original(const fs::path& file) {
    return ReadFile(OriginalCopy(file));
}

void Restore(const fs::path& file) {
    if (!fs::exists(OriginalCopy(file)))
        return;
    const fs::path temporary = file.string() + ".certinstall-new";
    fs::copy_file(OriginalCopy(file), temporary, fs::copy_options::overwrite_existing);
    fs::rename(temporary, file);
    ForgetOriginal(file);
}

void ForgetOriginal(const fs::path& file) {
    fs::remove(OriginalCopy(file));
    TidyRecord();
}

} // namespace platform::machine
