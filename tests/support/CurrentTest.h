// Names for per-test scratch folders.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

namespace tomelet {

// The running test's name as one folder name: parameterised tests are named "Case/3", and a
// folder named after that would leave its parent behind when removed.
inline std::string FolderNameOfCurrentTest() {
  std::string name = ::testing::UnitTest::GetInstance()->current_test_info()->name();
  std::replace(name.begin(), name.end(), '/', '-');
  return name;
}

}  // namespace tomelet
