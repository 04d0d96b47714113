// vospen-process as a script runs it: with --json its whole output is one
// JSON document, the catalog check's candidates inside it.
#include <gtest/gtest.h>

#include <unistd.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>

#include "pair.h"

namespace fs = std::filesystem;

namespace {

std::string run(const std::string& command) {
    std::string out;
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(command.c_str(), "r"), pclose);
    if (!pipe) return out;
    std::array<char, 4096> buf{};
    while (const std::size_t n = std::fread(buf.data(), 1, buf.size(), pipe.get())) out.append(buf.data(), n);
    return out;
}

} // namespace

TEST(ProcessTool, JsonWithTheCheckIsOneDocument) {
    const fs::path dir = fs::temp_directory_path() / ("vospen-tool-" + std::to_string(::getpid()));
    fs::remove_all(dir);
    skysim::PairOptions o;
    o.out = dir.string();
    o.width = 640;
    o.height = 480;
    o.seed = 7;
    o.supernovae = {14.5};
    skysim::WritePair(o, skysim::MakePair(o));
    const fs::path tool = fs::read_symlink("/proc/self/exe").parent_path() / "vospen-process";
    const std::string out = run("VOSPEN_HOME='" + dir.string() + "' '" + tool.string() + "' '" + o.out +
                                "/reference.fts' '" + o.out + "/reshot.fts' --catalog '" + o.out +
                                "/catalog' --catalog-index 1 --check --json");
    ASSERT_FALSE(out.empty());
    EXPECT_EQ(out.front(), '{');
    EXPECT_EQ(out.substr(out.size() - 2), "}\n") << out;
    EXPECT_EQ(out.find('\n'), out.size() - 1) << "one line, nothing after the document: " << out;
    EXPECT_NE(out.find("\"candidates\": [{\"line\": \""), std::string::npos) << out;
    EXPECT_EQ(out.find("# candidates"), std::string::npos);
    fs::remove_all(dir);
}
