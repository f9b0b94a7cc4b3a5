// Connections and dispatch: the part of every window that turns a message
// into an event and hands it to the handlers connected for its number.
//
// Dispatch order for one event on a target:
//   1. nothing happens when nobody anywhere connected the message number;
//   2. every system connection of the target runs; their outcome does not count;
//   3. the target's ordinary connections run in connection order until one
//      processes the event (a handler without the event argument always does,
//      one with it does unless it calls skip());
//   4. an unprocessed command climbs to the parent and step 3 repeats there;
//   5. an exception in a handler is reported (reportHandlerError) and the next
//      handler runs as if that one had not processed the event.
#pragma once

#include <concepts>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "toolkit/wClass.h"
#include "toolkit/wEvent.h"

namespace setup {

// A handler: a procedure that takes the event or one that takes nothing,
// either of which may be a closure. Handlers made from a plain procedure
// remember it, so that they can be disconnected by procedure.
class wHandler {
 public:
  using Key = void (*)();

  template <typename F>
  requires std::invocable<F&, wEvent&> wHandler(F f)
      : withEvent_(std::move(f)) {}  // NOLINT: implicit by design

  template <typename F>
  requires(std::invocable<F&> && !std::invocable<F&, wEvent&>) wHandler(F f)
      : withoutEvent_(std::move(f)) {}  // NOLINT: implicit by design

  wHandler(void (*procedure)(wEvent&))  // NOLINT: implicit by design
      : withEvent_(procedure), key_(reinterpret_cast<Key>(procedure)) {}
  wHandler(void (*procedure)())  // NOLINT: implicit by design
      : withoutEvent_(procedure), key_(procedure) {}

  // A procedure with a bound user value.
  template <typename T>
  wHandler(void (*procedure)(wEvent&, T*), T* user)
      : withEvent_([procedure, user](wEvent& e) { procedure(e, user); }),
        key_(reinterpret_cast<Key>(procedure)) {}

  bool takesEvent() const { return static_cast<bool>(withEvent_); }
  Key key() const { return key_; }
  void operator()(wEvent& event) const {
    if (withEvent_) {
      withEvent_(event);
    } else {
      withoutEvent_();
    }
  }

 private:
  std::function<void(wEvent&)> withEvent_;
  std::function<void()> withoutEvent_;
  Key key_ = nullptr;
};

// One connection. The connecting object may keep it to disconnect later; a
// disconnected connection never runs again, even inside a dispatch under way.
class wConnection {
 public:
  wConnection(std::uint32_t message, std::uint32_t commandFilter, wHandler handler, bool system)
      : message_(message),
        commandFilter_(commandFilter),
        handler_(std::move(handler)),
        system_(system) {}
  wConnection(const wConnection&) = delete;
  wConnection& operator=(const wConnection&) = delete;

  std::uint32_t message() const { return message_; }
  std::uint32_t commandFilter() const { return commandFilter_; }  // 0: none
  const wHandler& handler() const { return handler_; }
  bool system() const { return system_; }
  bool active() const { return active_; }

 private:
  friend class wEventTarget;
  std::uint32_t message_;
  std::uint32_t commandFilter_;
  wHandler handler_;
  bool system_;
  bool active_ = true;
};

using wConnectionRef = std::shared_ptr<wConnection>;

// Connections per message number over all windows of the process: a number
// without an entry is never turned into an event.
class wConnectionCounts {
 public:
  static wConnectionCounts& process();
  void add(std::uint32_t message) { ++counts_[message]; }
  void remove(std::uint32_t message);
  bool has(std::uint32_t message) const { return counts_.contains(message); }
  std::int64_t count(std::uint32_t message) const;

 private:
  std::map<std::uint32_t, std::int64_t> counts_;
};

struct wDispatchResult {
  bool processed = false;
  std::int64_t result = 0;
};

// The caption of the box that shows an exception raised by a handler.
inline constexpr const char* wHandlerErrorCaption = "Error: unhandled exception";

// The box's text for the exception being handled: message + " [" + name + "]".
// REQUIRES: called inside a catch block.
std::string currentHandlerErrorText();

class wEventTarget : public std::enable_shared_from_this<wEventTarget> {
 public:
  wEventTarget() = default;
  wEventTarget(const wEventTarget&) = delete;
  wEventTarget& operator=(const wEventTarget&) = delete;
  virtual ~wEventTarget();

  virtual wClassKind classKind() const { return wClassKind::window; }
  wEventTarget* eventParent() const { return eventParent_; }

  // An ordinary connection on message.
  wConnectionRef connect(std::uint32_t message, wHandler handler);
  // A command connection: the event of this class (commandEventFor) filtered
  // on the command identifier. Throws ValueError for identifier 0; returns
  // null for a class that connects nothing.
  wConnectionRef connectCommand(std::uint32_t commandId, wHandler handler);
  // A connection that always runs before the ordinary ones; toolkit use only.
  wConnectionRef connectSystem(std::uint32_t message, wHandler handler);
  void disconnect(const wConnectionRef& connection);
  // Removes every ordinary connection of the procedure on message.
  template <typename P>
  void disconnect(std::uint32_t message, P* procedure) {
    disconnectKey(message, reinterpret_cast<wHandler::Key>(procedure));
  }
  // Drops every connection of both tables (the window is going away).
  void releaseConnections();
  bool hasConnections(std::uint32_t message) const;

  // Makes and dispatches an event for the message, unless nobody connected
  // its number (then nothing is made and processed is false).
  wDispatchResult processMessage(wHandle handle, std::uint32_t message, std::uint64_t first,
                                 std::int64_t second);
  // Dispatches an event made by the caller.
  wDispatchResult processEvent(wEvent& event);

  // The platform's part of dispatch; the defaults do nothing.
  // Fills in the keyboard state and mouse position of a new event.
  virtual void captureInput(wEvent&) {}
  virtual void reportHandlerError(const std::string& /*text*/) {}
  virtual wPoint screenToClient(wPoint screen) const { return screen; }

 protected:
  void setEventParent(wEventTarget* parent) { eventParent_ = parent; }

 private:
  using Table = std::map<std::uint32_t, std::vector<wConnectionRef>>;
  wConnectionRef add(Table& table, std::uint32_t message, std::uint32_t filter, wHandler handler,
                     bool system);
  void disconnectKey(std::uint32_t message, wHandler::Key key);
  static void dropFrom(Table& table, const wConnectionRef& connection);
  // Runs the ordinary handlers of this target; true when one processed it.
  bool runOrdinary(wEvent& event);

  wEventTarget* eventParent_ = nullptr;
  Table system_;
  Table ordinary_;
};

}  // namespace setup
