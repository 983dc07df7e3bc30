#include "runtime/Variant.h"

#include <gtest/gtest.h>

#include <vector>

#include "runtime/Object.h"
#include "tests/runtime/RuntimeTesting.h"

namespace qx6 {

class IGreeter : public IUnknown {
 public:
  virtual int Greet() = 0;
};
template <>
struct InterfaceId<IGreeter> {
  static const Guid& value() {
    static const Guid id = Guid::FromString("{11111111-2222-3333-4444-555555555555}");
    return id;
  }
};

namespace {

class Greeter : public Object<IGreeter> {
 public:
  int Greet() override { return 42; }
};

// Counts the objects alive.
struct Counted : Object<IUnknown> {
  explicit Counted(int* alive) : alive(alive) { ++*alive; }
  ~Counted() override { --*alive; }
  int* alive;
};

TEST(Variant, ScalarsStringsObjectsInterfacesAndArraysKeepTheirValuesAndReferences) {
  EXPECT_EQ((std::vector<VarType>{Variant().Type(), Variant::Null().Type(), Variant(int16_t{-7}).Type(),
                                  Variant::Date(45296.5).Type(), Variant(70000).Type()}),
            (std::vector<VarType>{VarType::Empty, VarType::Null, VarType::Integer, VarType::Date, VarType::Long}));
  EXPECT_TRUE(Variant(int16_t{1}).IsNumber());
  EXPECT_FALSE(Variant::Date(1).IsNumber());
  EXPECT_FALSE(Variant("1").IsNumber());
  Variant copy;
  {
    Variant original = Variant::String("shared text");
    copy = original;
    Variant moved = std::move(original);
    EXPECT_TRUE(original.IsEmpty());
    EXPECT_EQ(moved.StringValue(), "shared text");
  }
  EXPECT_EQ(copy.StringValue(), "shared text");
  copy = copy;
  EXPECT_EQ(copy.StringValue(), "shared text");
  // Assigning a string reuses only storage no other copy shares.
  Variant v;
  v.AssignString("first value");
  Variant other = v;
  v.AssignString("second");
  EXPECT_EQ(other.StringValue(), "first value");
  EXPECT_EQ(v.StringValue(), "second");
  v.AssignString("a much longer third value than fits in before");
  EXPECT_EQ(v.StringValue(), "a much longer third value than fits in before");
  v.AssignString(v.StringValue().substr(2, 4));
  EXPECT_EQ(v.StringValue(), "much");
  int alive = 0;
  {
    auto object = MakeObject<Counted>(&alive);
    Variant v = Variant::FromObject(object);
    object.Reset();
    EXPECT_EQ(alive, 1);
    Variant w = v;
    v.Clear();
    EXPECT_EQ(alive, 1);
    EXPECT_NE(w.ObjectValue(), nullptr);
  }
  EXPECT_EQ(alive, 0);
  Variant list = Variant::Array2D(2, 2);
  auto a = list.ArrayValue();
  a.At(1, 0) = Variant(int16_t{2});
  a.At(1, 1) = Variant("Mine");
  EXPECT_EQ(a.UpperBound(1), 1);
  EXPECT_EQ(a.UpperBound(2), 1);
  Variant copied = list;
  EXPECT_EQ(copied.ArrayValue().At(1, 1).StringValue(), "Mine");
  EXPECT_EQ(test::ErrorOf([&] { a.At(2, 0); }), 9);
  EXPECT_THROW(Variant(3).ArrayValue(), RuntimeError);
  // Which interfaces an object answers for shows in the column collection's and the component's tests; here, that
  // each answer holds a reference.
  auto greeter = MakeObject<Greeter>();
  ComPtr<IUnknown> unknown = greeter.As<IUnknown>(IID_IUnknown);
  auto again = unknown.As<IGreeter>(InterfaceId<IGreeter>::value());
  ASSERT_TRUE(again);
  EXPECT_EQ(again->Greet(), 42);
  EXPECT_EQ(greeter->AddRef(), 4u);
  greeter->Release();
  auto g = Guid::Parse("{279cfa71-f4a9-4630-ba2d-c1b21e8ddb03}");
  ASSERT_TRUE(g);
  EXPECT_EQ(g->ToString(), "{279CFA71-F4A9-4630-BA2D-C1B21E8DDB03}");
  EXPECT_EQ(*g, *Guid::Parse("279CFA71-F4A9-4630-BA2D-C1B21E8DDB03"));
  EXPECT_FALSE(Guid::Parse("{279CFA71-F4A9-4630-BA2D-C1B21E8DDB0}"));
  EXPECT_FALSE(Guid::Parse("{279CFA71xF4A9-4630-BA2D-C1B21E8DDB03}"));
  EXPECT_FALSE(Guid::Parse("{G79CFA71-F4A9-4630-BA2D-C1B21E8DDB03}"));
}

}  // namespace
}  // namespace qx6
