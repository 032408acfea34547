#include "core/messages.h"

#include <mutex>

namespace {

// A broken file can hold millions of bad lines; the first ones tell the story.
constexpr size_t kMessagesKept = 50;

std::mutex messages_mutex;
std::vector<std::string> messages;
size_t messages_dropped = 0;
std::string empty_image_reason;

}  // namespace

void ReportInputProblem(const std::string& message) {
  std::lock_guard<std::mutex> lock(messages_mutex);
  if (messages.size() < kMessagesKept) {
    messages.push_back(message);
  } else {
    messages_dropped++;
  }
}

void ReportInputSummary(const std::string& message) {
  std::lock_guard<std::mutex> lock(messages_mutex);
  messages.push_back(message);
}

std::vector<std::string> TakeInputProblems() {
  std::lock_guard<std::mutex> lock(messages_mutex);
  std::vector<std::string> taken;
  taken.swap(messages);
  if (messages_dropped > 0) {
    taken.push_back("corvane: " + std::to_string(messages_dropped) + " more input problems not shown");
    messages_dropped = 0;
  }
  return taken;
}

void ReportEmptyImageReason(const std::string& message) {
  std::lock_guard<std::mutex> lock(messages_mutex);
  if (empty_image_reason.empty()) empty_image_reason = message;
}

std::string TakeEmptyImageReason() {
  std::lock_guard<std::mutex> lock(messages_mutex);
  std::string taken;
  taken.swap(empty_image_reason);
  return taken;
}
