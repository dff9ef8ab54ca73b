// A sink for tests that run a format's source through the linker core
// without writing: it asks the format's own sink what each message holds
// and records, in the order the core visits them, every message it was
// asked about and every store it was asked for.
#pragma once

#include <cstdint>
#include <vector>

#include "linker/link_sink.h"

namespace ktest {

class RecordingSink final : public knotter::LinkSink {
 public:
  struct Store {
    knotter::MessageRef message;
    knotter::LinkFields current;
    knotter::LinkFields fresh;
  };

  explicit RecordingSink(knotter::LinkSink& format) : format_(format) {}
  knotter::LinkShape shape() const override { return format_.shape(); }
  knotter::LinkFields current(const knotter::MessageRef& message,
                              std::span<const std::uint8_t> room) override {
    visited.push_back(message);
    return format_.current(message, room);
  }
  bool store(const knotter::MessageRef& message, std::span<const std::uint8_t>,
             const knotter::LinkFields& current, const knotter::LinkFields& fresh) override {
    stores.push_back({message, current, fresh});
    return true;
  }
  bool finish(std::uint32_t) override { return true; }

  std::vector<knotter::MessageRef> visited;
  std::vector<Store> stores;

 private:
  knotter::LinkSink& format_;
};

}  // namespace ktest
