#include "toolkit/wEventTarget.h"

#include <algorithm>
#include <exception>
#include <typeinfo>

#include "runtime/errors.h"

namespace setup {

wConnectionCounts& wConnectionCounts::process() {
  // Never destroyed: windows may still disconnect while statics go away.
  static wConnectionCounts* counts = new wConnectionCounts;
  return *counts;
}

void wConnectionCounts::remove(std::uint32_t message) {
  auto it = counts_.find(message);
  if (it == counts_.end()) return;
  if (--it->second <= 0) counts_.erase(it);
}

std::int64_t wConnectionCounts::count(std::uint32_t message) const {
  auto it = counts_.find(message);
  return it == counts_.end() ? 0 : it->second;
}

std::string currentHandlerErrorText() {
  try {
    throw;
  } catch (const Error& e) {
    return e.message() + " [" + e.kind() + "]";
  } catch (const std::exception& e) {
    return std::string(e.what()) + " [" + typeName(typeid(e)) + "]";
  } catch (...) {
    return "unknown exception [unknown]";
  }
}

wEventTarget::~wEventTarget() {
  releaseConnections();
}

wConnectionRef wEventTarget::add(Table& table, std::uint32_t message, std::uint32_t filter,
                                 wHandler handler, bool system) {
  auto connection = std::make_shared<wConnection>(message, filter, std::move(handler), system);
  table[message].push_back(connection);
  wConnectionCounts::process().add(message);
  return connection;
}

wConnectionRef wEventTarget::connect(std::uint32_t message, wHandler handler) {
  return add(ordinary_, message, 0, std::move(handler), false);
}

wConnectionRef wEventTarget::connectCommand(std::uint32_t commandId, wHandler handler) {
  if (commandId == 0) throw ValueError("command identifier must not be 0", "connect");
  const std::uint32_t message = commandEventFor(classKind());
  if (message == 0) return nullptr;
  return add(ordinary_, message, commandId, std::move(handler), false);
}

wConnectionRef wEventTarget::connectSystem(std::uint32_t message, wHandler handler) {
  return add(system_, message, 0, std::move(handler), true);
}

void wEventTarget::dropFrom(Table& table, const wConnectionRef& connection) {
  auto it = table.find(connection->message_);
  if (it == table.end()) return;
  auto& list = it->second;
  const auto found = std::find(list.begin(), list.end(), connection);
  if (found == list.end()) return;
  list.erase(found);
  if (list.empty()) table.erase(it);
  connection->active_ = false;
  wConnectionCounts::process().remove(connection->message_);
}

void wEventTarget::disconnect(const wConnectionRef& connection) {
  if (!connection || !connection->active_) return;
  dropFrom(connection->system_ ? system_ : ordinary_, connection);
}

void wEventTarget::disconnectKey(std::uint32_t message, wHandler::Key key) {
  auto it = ordinary_.find(message);
  if (it == ordinary_.end() || key == nullptr) return;
  std::vector<wConnectionRef> matching;
  for (const wConnectionRef& c : it->second) {
    if (c->handler_.key() == key) matching.push_back(c);
  }
  for (const wConnectionRef& c : matching) dropFrom(ordinary_, c);
}

void wEventTarget::releaseConnections() {
  for (Table* table : {&system_, &ordinary_}) {
    for (auto& [message, list] : *table) {
      for (const wConnectionRef& c : list) {
        c->active_ = false;
        wConnectionCounts::process().remove(message);
      }
    }
    table->clear();
  }
}

bool wEventTarget::hasConnections(std::uint32_t message) const {
  return system_.contains(message) || ordinary_.contains(message);
}

wDispatchResult wEventTarget::processMessage(wHandle handle, std::uint32_t message,
                                             std::uint64_t first, std::int64_t second) {
  if (!wConnectionCounts::process().has(message)) return {};
  wEvent event(*this, handle, message, first, second);
  captureInput(event);
  return processEvent(event);
}

wDispatchResult wEventTarget::processEvent(wEvent& event) {
  // A handler may destroy the window it runs on; keep the object until we return.
  const std::shared_ptr<wEventTarget> keep = weak_from_this().lock();

  if (auto it = system_.find(event.id()); it != system_.end()) {
    const std::vector<wConnectionRef> snapshot = it->second;
    for (const wConnectionRef& c : snapshot) {
      if (!c->active_) continue;
      if (c->commandFilter_ != 0 && c->commandFilter_ != event.commandId()) continue;
      event.skip(false);
      try {
        c->handler_(event);
      } catch (...) {
        reportHandlerError(currentHandlerErrorText());
      }
    }
  }

  wEventTarget* node = this;
  std::shared_ptr<wEventTarget> keepNode;
  for (;;) {
    if (node->runOrdinary(event)) return {true, event.result()};
    wEventTarget* parent = node->eventParent_;
    if (parent == nullptr || event.propagationLevel() <= 0) break;
    event.setPropagationLevel(event.propagationLevel() - 1);
    keepNode = parent->weak_from_this().lock();
    node = parent;
  }
  return {false, event.result()};
}

bool wEventTarget::runOrdinary(wEvent& event) {
  auto it = ordinary_.find(event.id());
  if (it == ordinary_.end()) return false;
  const std::vector<wConnectionRef> snapshot = it->second;
  for (const wConnectionRef& c : snapshot) {
    if (!c->active_) continue;
    if (c->commandFilter_ != 0 && c->commandFilter_ != event.commandId()) continue;
    event.skip(false);
    bool processed = false;
    try {
      c->handler_(event);
      processed = c->handler_.takesEvent() ? !event.skipped() : true;
    } catch (...) {
      reportHandlerError(currentHandlerErrorText());
    }
    if (processed) return true;
  }
  return false;
}

}  // namespace setup
