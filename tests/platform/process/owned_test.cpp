#include <gtest/gtest.h>

#include <process/owned.hpp>

using process::Owned;

namespace {

struct Counted
{
  explicit Counted(int* deleted) : deleted_(deleted) {}
  ~Counted() { ++*deleted_; }
  int* deleted_;
};

} // namespace {


TEST(OwnedTest, CopiesShareTheObjectAndTheLastOneDeletesIt)
{
  int deleted = 0;
  {
    Owned<Counted> first(new Counted(&deleted));
    {
      Owned<Counted> second = first;
      EXPECT_EQ(first.get(), second.get());
    }
    EXPECT_EQ(0, deleted);
  }
  EXPECT_EQ(1, deleted);
}


TEST(OwnedTest, ReleaseHandsTheObjectOverAndEveryCopySeesNull)
{
  int deleted = 0;
  Owned<Counted> first(new Counted(&deleted));
  Owned<Counted> second = first;

  Counted* released = second.release();
  ASSERT_NE(nullptr, released);
  EXPECT_EQ(nullptr, first.get());
  EXPECT_EQ(nullptr, second.release());

  first.reset();
  second.reset();
  EXPECT_EQ(0, deleted);
  delete released;
  EXPECT_EQ(1, deleted);
}
