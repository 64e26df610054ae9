// Every input a fuzz run found, replayed through the same work as its target.
#include "TestTools.h"
#include "fuzz/FuzzTargets.h"

#include <gtest/gtest.h>

#include <functional>

namespace {

void Replay(const std::string& target, const std::function<void(const uint8_t*, size_t)>& work) {
    const auto folder = std::filesystem::path(FUZZ_REGRESSIONS_DIR) / target;
    if (!std::filesystem::exists(folder))
        return;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        SCOPED_TRACE(entry.path().string());
        const std::string bytes = test::ReadFile(entry.path());
        work(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
    }
}

} // namespace

TEST(FuzzRegressions, KeptInputsRunCleanly) {
    Replay("archive_fuzzer", fuzz::Archive);
    Replay("unzip_fuzzer", fuzz::Unzip);
    Replay("mask_fuzzer", fuzz::Masks);
    Replay("differential_fuzzer", fuzz::Differential);
    Replay("methods_fuzzer", fuzz::Methods);
}
