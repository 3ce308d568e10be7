#pragma once

// The live entries of a registry of weakly held objects (the event logs'
// writers, one per file or server address): whoever still holds one keeps
// it listed; entries whose object has gone are dropped as they are found.

#include <QHash>
#include <QString>

#include <memory>
#include <mutex>
#include <vector>

namespace quellix::store {

template<class T>
std::vector<std::shared_ptr<T>> liveEntries(std::mutex &mutex, QHash<QString, std::weak_ptr<T>> &entries)
{
    std::lock_guard lk(mutex);
    std::vector<std::shared_ptr<T>> out;
    for (auto it = entries.begin(); it != entries.end();) {
        if (auto e = it->lock()) {
            out.push_back(std::move(e));
            ++it;
        } else {
            it = entries.erase(it);
        }
    }
    return out;
}

} // namespace quellix::store
