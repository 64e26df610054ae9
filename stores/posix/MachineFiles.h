#pragma once

#include <filesystem>
#include <optional>
#include <string>

// The files the computer's stores write among the administrator's, and what it takes to take
// them back: the files and folders this program made, and the bytes of a file it changed but
// did not make. That record lives in its own folder under /usr/local/share, gone when nothing
// is left to take back. Errors throw std::filesystem::filesystem_error, with the path.
namespace platform::machine {

namespace fs = std::filesystem;

// The file's contents, or none when it is missing.
std::optional<std::string> ReadFile(const fs::path& file);

// Writes the file whole, readable by every account, making the folders it needs. A file that
// was there and not made here is kept as it was first, to be put back by Restore.
void WriteFile(const fs::path& file, const std::string& contents);

// Deletes a file made here, with the folders made for it that are now empty.
void RemoveFile(const fs::path& file);

// The file as it was before its first change here, or none for one made here or never
// changed.
std::optional<std::string> Original(const fs::path& file);

// Keeps the file as it is now, unless it was kept already, was made here or is missing: for
// a file that another program changes at our asking.
void KeepOriginal(const fs::path& file);

// Puts the file back as it was before its first change here, and forgets that.
void Restore(const fs::path& file);

// Forgets how the file was, leaving it as it is.
void ForgetOriginal(const fs::path& file);

} // namespace platform::machine
