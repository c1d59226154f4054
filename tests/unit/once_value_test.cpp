#include "platform/once_value.h"

#include <gtest/gtest.h>

#include <atomic>
#include <new>
#include <string>
#include <thread>
#include <vector>

namespace velmora {
namespace {

TEST(OnceValue, ConcurrentFirstCallersWaitForTheOneMake) {
  OnceValue<std::wstring> value;
  std::atomic<int> makes{0};
  std::vector<const std::wstring*> objects(8);
  std::vector<std::wstring> texts(8);
  std::vector<std::thread> threads;
  for (size_t i = 0; i < objects.size(); ++i) {
    threads.emplace_back([&, i] {
      objects[i] = &value.Get([&] {
        ++makes;
        ::Sleep(50);  // the others arrive while the value is being made
        return std::wstring(L"made");
      });
      texts[i] = *objects[i];
    });
  }
  for (auto& thread : threads) thread.join();
  EXPECT_EQ(makes.load(), 1);
  for (size_t i = 0; i < objects.size(); ++i) {
    EXPECT_EQ(objects[i], objects[0]);
    EXPECT_EQ(texts[i], L"made");
  }
}

TEST(OnceValue, AThrowingMakeKeepsTheDefaultForGood) {
  OnceValue<std::wstring> value;
  EXPECT_EQ(value.Get([]() -> std::wstring { throw std::bad_alloc(); }), L"");
  EXPECT_EQ(value.Get([] { return std::wstring(L"later"); }), L"");
}

}  // namespace
}  // namespace velmora
