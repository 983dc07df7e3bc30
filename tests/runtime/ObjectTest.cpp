#include "runtime/Object.h"

#include <gtest/gtest.h>

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

// Which interfaces an object answers for shows in the column collection's
// and the component's tests; here, that each answer holds a reference.
TEST(Object, QueryInterfaceCountsReferencesAndGuidsReadTheRegistryForm) {
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
