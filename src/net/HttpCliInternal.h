#pragma once
// Pieces the files of THttpCli share: its private QObject and the way it fires events.
#include <memory>
#include <utility>

#include <QObject>

#include "net/HttpProt.h"

namespace lumi {

// The client's private QObject: the deferred steps are queued calls to it, so they are
// dropped when the client (and with it this object) is destroyed first.
class HttpNotifier : public QObject {};

} // namespace lumi

// Fires an assigned event; false when the handler destroyed the client.
template <class... Params, class... Args>
bool THttpCli::fire(const std::function<void(THttpCli*, Params...)>& event, Args&&... args) {
    if (!event) return true;
    std::weak_ptr<bool> token = life_;
    event(this, std::forward<Args>(args)...);
    return !token.expired();
}
