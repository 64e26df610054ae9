// Commands of the host system, for the tests that run real tools.
#include "TestTools.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <sys/wait.h>

namespace test {

std::string RunCommand(const std::string& command) {
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) {
        ADD_FAILURE() << "cannot run: " << command;
        return {};
    }
    std::string output;
    std::array<char, 65536> block;
    size_t n;
    while ((n = fread(block.data(), 1, block.size(), pipe)) > 0)
        output.append(block.data(), n);
    const int status = pclose(pipe);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "failed: " << command;
    return output;
}

bool CommandAvailable(const std::string& name) {
    return std::system(("command -v " + name + " >/dev/null 2>&1").c_str()) == 0;
}

bool ToolsReadSound(const std::string& zip) {
    TempDir dir;
    const std::string path = "'" + (dir / "a.zip").string() + "'";
    WriteFile(dir / "a.zip", zip);
    // unzip's warning about bytes in front of an archive is no failure.
    return std::system(("unzip -tq " + path + " >/dev/null 2>&1; [ $? -le 1 ] && " +
                        "python3 -c \"import sys, zipfile\n"
                        "sys.exit(zipfile.ZipFile(sys.argv[1]).testzip() is not None)\" " +
                        path + " 2>/dev/null")
                           .c_str()) == 0;
}

std::string IssuedCrl(const std::filesystem::path& base, const std::string& subject,
                      const std::string& options) {
    const std::string b = base.string();
    RunCommand(
        "openssl req -x509 -utf8 -newkey rsa:2048 -nodes -keyout '" + b + ".key' -subj '" +
        subject + "' -days 30 -out '" + b + ".pem' 2>/dev/null && : > '" + b +
        ".idx' && echo 01 > '" + b + ".num' && printf '[ca]\\ndefault_ca=x\\n[x]\\ndatabase=" + b +
        ".idx\\ncrlnumber=" + b + ".num\\ndefault_md=sha256\\ndefault_crl_days=30\\n' > '" + b +
        ".cnf' && openssl ca -config '" + b + ".cnf' -gencrl -keyfile '" + b + ".key' -cert '" + b +
        ".pem' " + options + " 2>/dev/null | openssl crl -outform DER -out '" + b + ".der'");
    return ReadFile(b + ".der");
}

} // namespace test
