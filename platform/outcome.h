#ifndef PLATFORM_OUTCOME_H_
#define PLATFORM_OUTCOME_H_

#include <string>
#include <utility>

// The outcome of an operation that can fail for a reason worth telling a
// person: ok, or a failure that carries its reason ("Permission denied",
// "tool: exit status 3"). The reason does not repeat what the caller gave
// the operation (the path it was to write): the caller that talks to a
// person puts its own words first, "cannot write PATH: " + message(). A
// caller that must stay silent (the run) ignores it, visibly: (void)Op().
// (Not named Status, as elsewhere: Xlib takes that name for a macro.)
class [[nodiscard]] Outcome {
 public:
  // Ok.
  Outcome() = default;
  static Outcome Ok() { return Outcome(); }
  // A failure for `reason`; an empty reason still fails ("failed").
  static Outcome Error(std::string reason) {
    Outcome failure;
    failure.message_ = reason.empty() ? "failed" : std::move(reason);
    return failure;
  }

  bool ok() const { return message_.empty(); }
  // The reason of a failure; "" exactly when ok.
  const std::string& message() const { return message_; }

 private:
  std::string message_;
};

#endif  // PLATFORM_OUTCOME_H_
