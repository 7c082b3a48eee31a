// CheckPrevious inside one process: each object stands for one copy of the program.
#include "app/check_previous.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <limits>
#include <memory>
#include <vector>

namespace klv {
namespace {

// A program path of its own per test, so parallel runs never share a record.
std::string ProgramFile(const std::string& test) {
  return "/tmp/klv-check-previous-" + std::to_string(::getpid()) + "/" + test + "/klv_upd";
}

class CheckPreviousTest : public ::testing::Test {
 protected:
  std::unique_ptr<CheckPrevious> Copy(const std::string& program_file) {
    return std::make_unique<CheckPrevious>(
        program_file, [this](uint32_t handle) { brought_forward.push_back(handle); });
  }

  static int32_t Peek(const std::string& program_file) {
    const platform::OpenedInstanceRecord opened =
        platform::InstanceRecord::Open(MappingName(program_file));
    return opened.record->Read().instance_count;
  }

  std::vector<uint32_t> brought_forward;
};

TEST(MappingNameTest, RemovesEveryFolderSeparatorAndKeepsTheRest) {
  struct Case {
    const char* program_file;
    const char* mapping_name;
  } const cases[] = {
      {"/opt/Velmora/klv_upd", "optVelmoraklv_upd"},
      {"/Opt/My Apps/KLV_UPD.exe", "OptMy AppsKLV_UPD.exe"},
      {"/ab/c", "abc"},
      {"/a/bc", "abc"},
      {"klv_upd", "klv_upd"},
  };
  for (const Case& c : cases) EXPECT_EQ(MappingName(c.program_file), c.mapping_name);
}

TEST_F(CheckPreviousTest, FirstCopyIsAdmittedAndRegistersItsWindow) {
  const std::string program = ProgramFile("first");
  const auto first = Copy(program);
  EXPECT_FALSE(first->Check(101, kMaxUpdaterInstances));
  const platform::OpenedInstanceRecord opened =
      platform::InstanceRecord::Open(MappingName(program));
  EXPECT_EQ(opened.record->Read().window_handle, 101u);
  EXPECT_EQ(opened.record->Read().instance_count, 1);
  EXPECT_TRUE(brought_forward.empty());
}

TEST_F(CheckPreviousTest, SecondCopyIsRefusedAndBringsTheFirstForward) {
  const std::string program = ProgramFile("second");
  const auto first = Copy(program);
  ASSERT_FALSE(first->Check(101, kMaxUpdaterInstances));
  {
    const auto second = Copy(program);
    EXPECT_TRUE(second->Check(202, kMaxUpdaterInstances));
    EXPECT_EQ(brought_forward, std::vector<uint32_t>{101});
  }
  EXPECT_EQ(Peek(program), 1) << "the refused copy neither counts nor takes a place back";
}

TEST_F(CheckPreviousTest, CopiesOfOtherProgramPathsRunSideBySide) {
  const auto first = Copy(ProgramFile("side-a"));
  const auto other = Copy(ProgramFile("side-b"));
  EXPECT_FALSE(first->Check(1, kMaxUpdaterInstances));
  EXPECT_FALSE(other->Check(2, kMaxUpdaterInstances));
  EXPECT_TRUE(brought_forward.empty());
}

TEST_F(CheckPreviousTest, MaximumTwoAdmitsTheSecondWhoseWindowTheThirdBringsForward) {
  const std::string program = ProgramFile("maximum-two");
  const auto first = Copy(program);
  const auto second = Copy(program);
  const auto third = Copy(program);
  EXPECT_FALSE(first->Check(1, 2));
  EXPECT_FALSE(second->Check(2, 2));
  EXPECT_EQ(Peek(program), 2);
  EXPECT_TRUE(third->Check(3, 2));
  EXPECT_EQ(brought_forward, std::vector<uint32_t>{2});
}

TEST_F(CheckPreviousTest, ZeroOrNegativeMaximumStillAdmitsTheFirstCopy) {
  for (const int32_t maximum : {0, -1, std::numeric_limits<int32_t>::min()}) {
    const std::string program = ProgramFile("maximum" + std::to_string(maximum));
    const auto first = Copy(program);
    const auto second = Copy(program);
    EXPECT_FALSE(first->Check(1, maximum)) << maximum;
    EXPECT_TRUE(second->Check(2, maximum)) << maximum;
  }
}

TEST_F(CheckPreviousTest, FinalisationGivesThePlaceBackAndTheLastRemovesTheRecord) {
  const std::string program = ProgramFile("finalise");
  auto first = Copy(program);
  auto second = Copy(program);
  ASSERT_FALSE(first->Check(1, 2));
  ASSERT_FALSE(second->Check(2, 2));
  first->Finalize();
  first->Finalize();  // runs once
  EXPECT_EQ(Peek(program), 1);
  second.reset();
  first.reset();
  const auto later = Copy(program);
  EXPECT_FALSE(later->Check(3, kMaxUpdaterInstances)) << "a later start creates the record afresh";
  EXPECT_EQ(Peek(program), 1);
}

TEST_F(CheckPreviousTest, CountLeftAtTheLowestValueDoesNotWrapOnFinalisation) {
  const std::string program = ProgramFile("lowest");
  const auto first = Copy(program);
  ASSERT_FALSE(first->Check(1, kMaxUpdaterInstances));
  platform::OpenedInstanceRecord keeper = platform::InstanceRecord::Open(MappingName(program));
  keeper.record->Write({1, std::numeric_limits<int32_t>::min()});
  keeper.guard.Release();
  first->Finalize();
  EXPECT_EQ(keeper.record->Read().instance_count, std::numeric_limits<int32_t>::min());
}

}  // namespace
}  // namespace klv
