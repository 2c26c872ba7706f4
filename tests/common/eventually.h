#pragma once
// Waits for something another thread makes true. The limit only keeps a broken build from
// hanging; it decides nothing.
#include <chrono>
#include <thread>

template <class F>
bool Eventually(F f) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (!f()) {
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}
