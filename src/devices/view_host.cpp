// The installed view host.
#include "devices/view_host.h"

namespace tolvek {

namespace {
TViewHost* installedHost = nullptr;
}

TViewHost* ViewHost() { return installedHost; }

void SetViewHost(TViewHost* host) { installedHost = host; }

}  // namespace tolvek
