#pragma once

#include <memory>

class Monitor;
class WebPage;

// The web page as the settings ask for it ([Web] Listen, PasswordHash, CertFile, KeyFile),
// fed by the monitor as the household's bus is: nothing is served without both an address and a
// password, and one event line says why or where.
namespace WebService {

std::unique_ptr<WebPage> start(Monitor& monitor);

} // namespace WebService
