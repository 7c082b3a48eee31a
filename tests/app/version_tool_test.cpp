// klv_tool version, run as support staff run it, on generated program files, on programs
// made by the GNU toolchain for Windows, and on files that are not programs at all.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/common/pe_fixture.h"
#include "tests/support/temp_dir.h"

namespace klv {
namespace {

using testing::RunCommand;
using testing::ShellQuote;

struct ToolResult {
  std::string output;
  int status = 0;
};

ToolResult RunVersion(const std::vector<std::string>& files) {
  std::string command = ShellQuote(testing::BinaryDir() + "/app/klv_tool") + " version";
  for (const std::string& file : files) command += " " + ShellQuote(file);
  ToolResult result;
  result.output = RunCommand(command + " 2>/dev/null", &result.status);
  return result;
}

TEST(VersionTool, OneLinePerFileInTheGivenOrder) {
  testing::TempDir dir;
  testing::PeFixtureOptions plus_dll;
  plus_dll.pe32_plus = true;
  plus_dll.dll = true;
  plus_dll.file_version = {10, 20, 30, 40};
  testing::PeFixture truncated = testing::BuildPe();
  truncated.bytes.resize(truncated.layout.fixed_file_info + 10);
  const std::string pe32 = dir.Write("KLV.EXE", testing::BuildPe().bytes);
  const std::string pe32_plus = dir.Write("sub dir/plus 64.dll", testing::BuildPe(plus_dll).bytes);
  const std::string cut = dir.Write("cut.dll", truncated.bytes);
  const std::string text = dir.Write("readme.txt", "text\r\n");
  const std::string missing = dir.File("absent.dll");

  const ToolResult result = RunVersion({pe32, pe32_plus, cut, text, missing, dir.path(), pe32});
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.output, "3.1.0.7\t" + pe32 + "\n" +                //
                               "10.20.30.40\t" + pe32_plus + "\n" +   //
                               "0.0.0.0\t" + cut + "\n" +             //
                               "0.0.0.0\t" + text + "\n" +            //
                               "-1.-1.-1.-1\t" + missing + "\n" +     //
                               "-1.-1.-1.-1\t" + dir.path() + "\n" +  //
                               "3.1.0.7\t" + pe32 + "\n");
}

TEST(VersionTool, FileNamesAreWrittenAsGiven) {
  testing::TempDir dir;
  dir.Write("a.exe", testing::BuildPe().bytes);
  const ToolResult result = RunVersion({dir.path() + "./a.exe", dir.path() + "missing/../a.exe"});
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.output, "3.1.0.7\t" + dir.path() + "./a.exe\n" + "-1.-1.-1.-1\t" + dir.path() +
                               "missing/../a.exe\n");
}

TEST(VersionTool, WithoutFilesShowsUsage) {
  const ToolResult result = RunVersion({});
  EXPECT_EQ(result.status, 2);
  EXPECT_EQ(result.output, "");
}

// Builds small Windows programs with the GNU toolchain for Windows (Debian's
// binutils-mingw-w64-x86-64 and binutils-mingw-w64-i686): windres compiles a version
// resource script, as assembles a one-instruction entry point, ld links an EXE or a DLL.
// The headers, section table and resource tree are then laid out by GNU ld and windres,
// independently of our own fixture writer.
class MingwPrograms {
 public:
  explicit MingwPrograms(const testing::TempDir& dir) : dir_(dir) {}

  // The tool prefix when its windres, as and ld are all on the PATH.
  static bool Available(const std::string& prefix) {
    int status = 0;
    RunCommand(
        "command -v " + prefix + "-windres " + prefix + "-as " + prefix + "-ld >/dev/null 2>&1",
        &status);
    return status == 0;
  }

  // Links `name`; with a version resource unless `file_version` is empty. Answers the
  // path, or an empty text when a tool failed (its messages go to `log`).
  std::string Build(const std::string& prefix, const std::string& name, bool dll,
                    const std::string& file_version, std::string* log) {
    const std::string base = dir_.path() + name;
    dir_.Write(name + ".s", ".text\n.globl start\n.globl _start\nstart:\n_start:\n  ret\n");
    std::string objects = ShellQuote(base + ".o");
    std::string command =
        prefix + "-as -o " + ShellQuote(base + ".o") + " " + ShellQuote(base + ".s");
    if (!file_version.empty()) {
      dir_.Write(name + ".rc", VersionScript(file_version, dll));
      // The script needs no C preprocessor, so none is required.
      command += " && " + prefix + "-windres --preprocessor=cat -i " + ShellQuote(base + ".rc") +
                 " -o " + ShellQuote(base + ".res.o");
      objects += " " + ShellQuote(base + ".res.o");
    }
    command += " && " + prefix + "-ld " + (dll ? "--dll " : "") +
               "--subsystem windows -e start -o " + ShellQuote(base) + " " + objects;
    int status = 0;
    *log += RunCommand("( " + command + " ) 2>&1", &status);
    return status == 0 ? base : "";
  }

 private:
  // A resource script as a Windows developer writes it; the strings and the product
  // version deliberately differ from the fixed file version.
  static std::string VersionScript(const std::string& file_version, bool dll) {
    std::string commas = file_version;
    for (char& c : commas) {
      if (c == '.') c = ',';
    }
    return "2 RCDATA { \"settings\" }\n"
           "1 VERSIONINFO\n"
           "FILEVERSION " +
           commas +
           "\n"
           "PRODUCTVERSION 9,8,7,6\n"
           "FILEFLAGSMASK 0x3fL\n"
           "FILEOS 0x40004L\n"
           "FILETYPE " +
           std::string(dll ? "0x2L" : "0x1L") +
           "\n"
           "BEGIN\n"
           "  BLOCK \"StringFileInfo\"\n"
           "  BEGIN\n"
           "    BLOCK \"040904b0\"\n"
           "    BEGIN\n"
           "      VALUE \"CompanyName\", \"Velmora test programs\"\n"
           "      VALUE \"FileVersion\", \"7.7.7.7\"\n"
           "      VALUE \"ProductVersion\", \"9.8.7.6\"\n"
           "    END\n"
           "  END\n"
           "  BLOCK \"VarFileInfo\"\n"
           "  BEGIN\n"
           "    VALUE \"Translation\", 0x409, 1200\n"
           "  END\n"
           "END\n";
  }

  const testing::TempDir& dir_;
};

TEST(VersionTool, AgreesWithPefileOnProgramsOfTheWindowsToolchain) {
  struct Program {
    const char* prefix;
    const char* name;
    bool dll;
    const char* file_version;  // empty: no version resource
  };
  const Program programs[] = {
      {"x86_64-w64-mingw32", "KLV64.EXE", false, "3.1.0.7"},
      {"x86_64-w64-mingw32", "lib64.dll", true, "65535.0.1.2"},
      {"x86_64-w64-mingw32", "plain64.exe", false, ""},
      {"i686-w64-mingw32", "KLV32.EXE", false, "10.20.30.40"},
      {"i686-w64-mingw32", "lib32.dll", true, "1.2.3.4"},
      {"i686-w64-mingw32", "plain32.dll", true, ""},
  };
  testing::TempDir dir;
  MingwPrograms toolchain(dir);
  std::vector<std::string> files;
  std::string expected;
  for (const Program& program : programs) {
    if (!MingwPrograms::Available(program.prefix)) {
      GTEST_SKIP() << program.prefix << "-windres, -as or -ld missing (Debian: "
                   << "binutils-mingw-w64-x86-64 and binutils-mingw-w64-i686)";
    }
    std::string log;
    const std::string path =
        toolchain.Build(program.prefix, program.name, program.dll, program.file_version, &log);
    ASSERT_FALSE(path.empty()) << program.name << ": " << log;
    files.push_back(path);
    const std::string version = *program.file_version ? program.file_version : "0.0.0.0";
    expected += version + "\t" + path + "\n";
  }
  const ToolResult ours = RunVersion(files);
  EXPECT_EQ(ours.status, 0);
  EXPECT_EQ(ours.output, expected);

  std::string why;
  const std::optional<std::string> pefile = testing::PefileVersions(files, &why);
  if (!pefile) GTEST_SKIP() << "no comparison with pefile: " << why;
  EXPECT_EQ(*pefile, expected);
}

TEST(VersionTool, AgreesWithPefileOnGeneratedPrograms) {
  testing::TempDir dir;
  std::vector<std::string> files;
  int index = 0;
  for (const bool plus : {false, true}) {
    for (const bool dll : {false, true}) {
      for (const bool with_version : {false, true}) {
        testing::PeFixtureOptions options;
        options.pe32_plus = plus;
        options.dll = dll;
        options.with_version = with_version;
        options.file_version = {static_cast<uint16_t>(index), 2, 3, 4};
        files.push_back(dir.Write("f" + std::to_string(index++) + (dll ? ".dll" : ".exe"),
                                  testing::BuildPe(options).bytes));
      }
    }
  }
  files.push_back(dir.File("absent.exe"));
  const ToolResult ours = RunVersion(files);
  EXPECT_EQ(ours.status, 0);
  std::string why;
  const std::optional<std::string> pefile = testing::PefileVersions(files, &why);
  if (!pefile) GTEST_SKIP() << "no comparison with pefile: " << why;
  EXPECT_EQ(ours.output, *pefile);
  EXPECT_NE(ours.output.find("7.2.3.4\t"), std::string::npos);  // the last one, with version
}

}  // namespace
}  // namespace klv
