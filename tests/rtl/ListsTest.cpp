#include "platform/rtl/Lists.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "platform/rtl/Exceptions.h"

namespace {

using platform::EListError;
using platform::TList;
using platform::TStringList;

int a, b, c, d;

std::vector<void*> Contents(const TList& list) {
  return std::vector<void*>(list.List(), list.List() + list.Count());
}

std::vector<std::string> Contents(const TStringList& list) {
  std::vector<std::string> result;
  for (int32_t i = 0; i < list.Count(); ++i) result.push_back(list[i]);
  return result;
}

void ExpectListError(const std::function<void()>& action, const std::string& message) {
  try {
    action();
    ADD_FAILURE() << "no exception, expected " << message;
  } catch (const EListError& e) {
    EXPECT_EQ(e.Message, message);
    EXPECT_STREQ(e.ClassName(), "EListError");
  }
}

TEST(List, EditsKeepOrder) {
  TList list;
  EXPECT_EQ(list.Add(&a), 0);
  EXPECT_EQ(list.Add(&b), 1);
  list.Insert(0, &c);  // c a b
  list.Insert(3, &d);  // c a b d
  EXPECT_EQ(Contents(list), (std::vector<void*>{&c, &a, &b, &d}));
  list.Move(0, 3);  // a b d c
  list.Exchange(0, 1);  // b a d c
  EXPECT_EQ(Contents(list), (std::vector<void*>{&b, &a, &d, &c}));
  EXPECT_EQ(list.First(), &b);
  EXPECT_EQ(list.Last(), &c);
  EXPECT_EQ(list.Remove(&d), 2);
  EXPECT_EQ(list.Remove(&d), -1);
  EXPECT_EQ(list.Extract(&a), &a);
  EXPECT_EQ(list.Extract(&a), nullptr);
  list.Put(1, nullptr);
  list.Add(&a);
  list.Pack();
  EXPECT_EQ(Contents(list), (std::vector<void*>{&b, &a}));
  list.Sort([](void* x, void* y) { return x < y ? -1 : x > y ? 1 : 0; });
  EXPECT_EQ(list.IndexOf(&a), &a < &b ? 0 : 1);
  list.Clear();
  EXPECT_EQ(list.Count(), 0);
  EXPECT_EQ(list.Capacity(), 0);
}

TEST(List, CapacityAndCount) {
  TList list;
  for (int i = 0; i < 100; ++i) list.Add(&a);
  EXPECT_GE(list.Capacity(), 100);
  list.SetCapacity(100);
  EXPECT_EQ(list.Capacity(), 100);
  list.SetCount(102);
  EXPECT_EQ(list.Get(101), nullptr);
  list.SetCount(1);
  EXPECT_EQ(list.Count(), 1);
  ExpectListError([&] { list.SetCapacity(0); }, "List capacity out of bounds (0)");
  ExpectListError([&] { list.SetCount(-1); }, "List count out of bounds (-1)");
}

TEST(List, IndexErrorsNameTheIndex) {
  TList list;
  list.Add(&a);
  list.Add(&b);
  struct Case { std::function<void()> action; const char* message; };
  const Case cases[] = {
      {[&] { list.Get(2); }, "List index out of bounds (2)"},
      {[&] { list.Get(-1); }, "List index out of bounds (-1)"},
      {[&] { list.Put(5, &c); }, "List index out of bounds (5)"},
      {[&] { list.Delete(2); }, "List index out of bounds (2)"},
      {[&] { list.Insert(3, &c); }, "List index out of bounds (3)"},
      {[&] { list.Move(0, 2); }, "List index out of bounds (2)"},
      {[&] { list.Exchange(-3, 0); }, "List index out of bounds (-3)"},
  };
  for (const Case& c : cases) ExpectListError(c.action, c.message);
  EXPECT_EQ(Contents(list), (std::vector<void*>{&a, &b})) << "a refused edit changes nothing";

  TList empty;
  ExpectListError([&] { empty.First(); }, "List index out of bounds (0)");
  ExpectListError([&] { empty.Last(); }, "List index out of bounds (-1)");
}

TEST(StringList, EditsObjectsAndErrors) {
  TStringList list;
  platform::TObject object;
  list.Add("one");
  list.AddObject("Two", &object);
  list.Insert(0, "zero");
  list.Put(2, "two");
  EXPECT_EQ(Contents(list), (std::vector<std::string>{"zero", "one", "two"}));
  EXPECT_EQ(list.Objects(2), &object);
  EXPECT_EQ(list.Objects(0), nullptr);
  EXPECT_EQ(list.IndexOf("ONE"), 1);
  list.CaseSensitive = true;
  EXPECT_EQ(list.IndexOf("ONE"), -1);
  EXPECT_EQ(list.IndexOf("one"), 1);
  list.Delete(0);
  EXPECT_EQ(list.Count(), 2);
  ExpectListError([&] { list.Strings(2); }, "List index out of bounds (2)");
  ExpectListError([&] { list.Insert(-1, "x"); }, "List index out of bounds (-1)");
  ExpectListError([&] { list.Delete(7); }, "List index out of bounds (7)");
  list.Clear();
  EXPECT_EQ(list.Count(), 0);
}

TEST(StringList, TextSplitsAtEveryLineBreakKind) {
  struct Case { std::string text; std::vector<std::string> lines; };
  const Case cases[] = {
      {"", {}},
      {"a", {"a"}},
      {"a\n", {"a"}},
      {"a\r\nb\rc\nd", {"a", "b", "c", "d"}},
      {"a\n\nb\r\n", {"a", "", "b"}},
      {"\n", {""}},
      {std::string("x\0y\nz", 5), {std::string("x\0y", 3), "z"}},
  };
  for (const Case& c : cases) {
    TStringList list;
    list.SetText(c.text);
    EXPECT_EQ(Contents(list), c.lines) << c.text;
  }
  TStringList list;
  list.Add("a");
  list.Add("");
  EXPECT_EQ(list.Text(), "a\n\n");
  list.LineBreak = "\r\n";
  EXPECT_EQ(list.Text(), "a\r\n\r\n");
}

TEST(StringList, AssignCopiesAndRefusesOtherClasses) {
  TStringList source, copy;
  platform::TObject object;
  source.AddObject("a", &object);
  source.Add("b");
  copy.Add("old");
  copy.Assign(&source);
  source.Put(0, "changed");
  EXPECT_EQ(Contents(copy), (std::vector<std::string>{"a", "b"}));
  EXPECT_EQ(copy.Objects(0), &object);
  copy.Assign(&copy);
  EXPECT_EQ(copy.Count(), 2);

  platform::TPersistent other;
  try {
    copy.Assign(&other);
    FAIL() << "no exception";
  } catch (const platform::EConvertError& e) {
    EXPECT_EQ(e.Message, "Cannot assign a TPersistent to a TStringList");
  }
}

}  // namespace
