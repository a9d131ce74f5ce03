#pragma once

#include <memory>

class Monitor;
class NcidServer;

// The NCID server as the settings ask for it ([NCID] Listen, Allow, LogLines), fed by the
// monitor: nothing is served without an address, and one event line says where or why not.
namespace NcidService {

std::unique_ptr<NcidServer> start(Monitor& monitor);

} // namespace NcidService
