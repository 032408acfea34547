#include "import/coinloader.h"

#include <Inventor/SoDB.h>
#include <Inventor/SoInput.h>
#include <Inventor/errors/SoDebugError.h>
#include <Inventor/errors/SoMemoryError.h>
#include <Inventor/errors/SoReadError.h>
#include <Inventor/nodes/SoSeparator.h>
#include <zlib.h>

#include <cctype>
#include <utility>

#include "import/childprocess.h"
#include "import/coinlimits.h"
#include "import/cointraversal.h"
#include "import/memoryceiling.h"

// Coin's messages passed on per file; a broken file can give one per face.
constexpr size_t kMostCoinMessages = 10;

namespace {

// Coin's messages while it works on one file.
struct CoinMessages {
  std::vector<std::string> lines;
  long dropped = 0;  // beyond kMostCoinMessages
  std::string last;  // where reading stops, the reason why
};

// A message of Coin as one line: every run of blanks, tabs and line ends one blank.
void CollectMessage(const SoError* error, void* data) {
  CoinMessages& messages = *static_cast<CoinMessages*>(data);
  std::string line;
  for (const char* c = error->getDebugString().getString(); *c != '\0'; ++c) {
    bool blank = std::isspace(static_cast<unsigned char>(*c)) != 0;
    if (!blank) line += *c;
    if (blank && !line.empty() && line.back() != ' ') line += ' ';
  }
  while (!line.empty() && line.back() == ' ') line.pop_back();
  messages.last = line;
  if (messages.lines.size() < kMostCoinMessages) {
    messages.lines.push_back(line);
  } else {
    ++messages.dropped;
  }
}

// Sends Coin's messages of every kind to messages while it lives, and gives
// the handlers back afterwards; without it Coin prints them itself.
class MessageCapture {
 public:
  explicit MessageCapture(CoinMessages& messages)
      : error_{SoError::getHandlerCallback(), SoError::getHandlerData()},
        read_{SoReadError::getHandlerCallback(), SoReadError::getHandlerData()},
        debug_{SoDebugError::getHandlerCallback(), SoDebugError::getHandlerData()},
        memory_{SoMemoryError::getHandlerCallback(), SoMemoryError::getHandlerData()} {
    SoError::setHandlerCallback(CollectMessage, &messages);
    SoReadError::setHandlerCallback(CollectMessage, &messages);
    SoDebugError::setHandlerCallback(CollectMessage, &messages);
    SoMemoryError::setHandlerCallback(CollectMessage, &messages);
  }
  ~MessageCapture() {
    SoError::setHandlerCallback(error_.first, error_.second);
    SoReadError::setHandlerCallback(read_.first, read_.second);
    SoDebugError::setHandlerCallback(debug_.first, debug_.second);
    SoMemoryError::setHandlerCallback(memory_.first, memory_.second);
  }
  MessageCapture(const MessageCapture&) = delete;
  MessageCapture& operator=(const MessageCapture&) = delete;

 private:
  std::pair<SoErrorCB*, void*> error_, read_, debug_, memory_;
};

bool HasCoinExtension(const std::string& path) {
  size_t dot = path.find_last_of("./");
  if (dot == std::string::npos || path[dot] != '.') return false;
  std::string extension = path.substr(dot + 1);
  for (char& c : extension) c = char(std::tolower(static_cast<unsigned char>(c)));
  return extension == "wrl" || extension == "wrz" || extension == "vrml" || extension == "iv";
}

// Every header Coin knows starts with one of these.
bool HasCoinHeader(const std::string& path) {
  gzFile file = gzopen(path.c_str(), "rb");  // reads plain files as they are
  if (file == nullptr) return false;
  char start[16] = {};
  int got = gzread(file, start, sizeof start - 1);
  gzclose(file);
  if (got <= 0) return false;
  std::string text(start, size_t(got));
  return text.rfind("#Inventor V", 0) == 0 || text.rfind("#VRML V", 0) == 0;
}

// Coin's messages as warnings of the file, then what was dropped.
void PassOnMessages(const CoinMessages& messages, const std::string& file, std::vector<std::string>& warnings) {
  for (const std::string& line : messages.lines) warnings.push_back("corvane-import: " + file + ": " + line);
  if (messages.dropped > 0) {
    warnings.push_back("corvane-import: " + file + ": and " + std::to_string(messages.dropped) +
                       " more messages of Coin");
  }
}

// Reads and traverses the file in this process.
bool ReadWithCoin(const std::string& path, bool z_up, CVImportModel& model, std::string& error) {
  if (!SoDB::isInitialized()) SoDB::init();
  CoinMessages messages;
  SoSeparator* root = nullptr;
  {
    MessageCapture capture(messages);
    SoInput input;
    if (input.openFile(path.c_str())) root = SoDB::readAll(&input);
  }
  if (root == nullptr) {
    std::string reason = messages.last.empty() ? "Coin cannot read it" : messages.last;
    error = "corvane-import: cannot read the model " + path + ": " + reason;
    return false;
  }
  root->ref();
  {
    MessageCapture capture(messages);
    AddSceneGraph(root, z_up, path, model);
  }
  root->unref();
  PassOnMessages(messages, path, model.warnings);
  if (model.meshes.empty()) {
    error = "corvane-import: the model " + path + " holds no triangles, so there is nothing to trace";
    return false;
  }
  return true;
}

}  // namespace

bool IsCoinModel(const std::string& path) { return HasCoinExtension(path) || HasCoinHeader(path); }

bool LoadCoinModel(const std::string& path, bool z_up, uint64_t memory_ceiling, CVImportModel& model,
                   std::string& error) {
  std::string reason;
  if (!WithinCoinLimits(path, reason)) {
    model = CVImportModel{};
    error = "corvane-import: cannot read the model " + path + ": " + reason;
    return false;
  }
  // Coin also breaks on files no scan foresees (a PROTO that holds itself, a
  // face set longer than its points): it runs apart, so that those end with
  // a message too.
  auto read = [&path, z_up, memory_ceiling](CVImportModel& result, std::string& message) {
    auto coin = [&path, z_up](CVImportModel& m, std::string& e) { return ReadWithCoin(path, z_up, m, e); };
    return LoadUnderCeiling(coin, memory_ceiling, path, result, message);
  };
  return LoadInChildProcess(read, path, "Coin", model, error);
}
