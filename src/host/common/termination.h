#pragma once

#include <QSocketNotifier>

#include <functional>
#include <memory>

namespace host {

/// Turns SIGINT and SIGTERM into a call of `onSignal` from the event loop
/// (the main one or a nested one of a modal window): the signal handler
/// only writes a byte into a socket pair, which the returned notifier
/// reads. Returns nullptr, with errno set, when the signals cannot be
/// caught.
std::unique_ptr<QSocketNotifier> catchTerminationSignals(std::function<void()> onSignal);

} // namespace host
