// Bounded waiting for something another process or thread brings about.
#pragma once

#include <chrono>
#include <functional>

// Polls `ready` every few milliseconds until it holds or `limit` passes.
bool wait_until(const std::function<bool()>& ready, std::chrono::milliseconds limit);
