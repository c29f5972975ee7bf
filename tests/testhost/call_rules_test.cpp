// The rules of where the host serves each call name exactly the functions it
// serves: a rule for a misspelt or removed function, a function served
// without a rule, or one with two rules, is a fault of the host's own.
#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <string>
#include <vector>

#include "CallRules.h"
#include "ServedFunctions.h"

namespace {

using Names = std::vector<std::string>;

// What of `of` is not in `in` (both sorted).
Names Missing(const Names& of, const Names& in) {
  Names out;
  std::set_difference(of.begin(), of.end(), in.begin(), in.end(), std::back_inserter(out));
  return out;
}

Names Sorted(Names names) {
  std::sort(names.begin(), names.end());
  return names;
}

TEST(CallRules, NameEveryServedFunctionAndNothingElse) {
  const Names served = zelvan::testhost::ServedFunctions();
  const Names ruled = Sorted(zelvan::testhost::RuledFunctions());
  EXPECT_EQ(Missing(ruled, served), Names{}) << "rules for functions the host does not serve";
  EXPECT_EQ(Missing(served, ruled), Names{}) << "functions the host serves without a rule";
}

TEST(CallRules, GiveEachFunctionOneRule) {
  const Names ruled = Sorted(zelvan::testhost::RuledFunctions());
  Names twice;
  for (auto it = std::adjacent_find(ruled.begin(), ruled.end()); it != ruled.end();
       it = std::adjacent_find(it + 1, ruled.end())) {
    twice.push_back(*it);
  }
  EXPECT_EQ(twice, Names{});
}

}  // namespace
