// A build without libpq: --into is refused before the run.
#include "server_load.h"

namespace vesk::frontend {

struct ServerLoad::Impl {
  LoadSummary summary;
};

ServerLoad::ServerLoad(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
ServerLoad::~ServerLoad() = default;

bool ServerLoad::Available() { return false; }

std::unique_ptr<ServerLoad> ServerLoad::Connect(const std::string&, Report, std::string& error) {
  error = "--into is not available in this build (it was built without libpq)";
  return nullptr;
}

void ServerLoad::KeepRejects(std::function<std::string()>) {}
bool ServerLoad::Take(const VeskScriptPiece&) { return false; }
void ServerLoad::Finish() {}
const LoadSummary& ServerLoad::Summary() const { return impl_->summary; }

}  // namespace vesk::frontend
