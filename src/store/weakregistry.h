#pragma once

// A registry of weakly held objects by key (the event logs' writers, one
// per file or server address): whoever still holds one keeps it listed;
// entries whose object has gone are dropped as they are found.

#include <QHash>
#include <QString>

#include <memory>
#include <mutex>
#include <vector>

namespace quellix::store {

template<class T>
class WeakRegistry
{
public:
    /// The live object of `key`, or null.
    std::shared_ptr<T> find(const QString &key)
    {
        std::lock_guard lk(m_mutex);
        return m_entries.value(key).lock();
    }

    /// The live object of `key`, made by `make()` when there is none.
    template<class Make>
    std::shared_ptr<T> findOrMake(const QString &key, Make make)
    {
        std::lock_guard lk(m_mutex);
        std::shared_ptr<T> e = m_entries.value(key).lock();
        if (!e) {
            e = make();
            m_entries.insert(key, e);
        }
        return e;
    }

    std::vector<std::shared_ptr<T>> live()
    {
        std::lock_guard lk(m_mutex);
        std::vector<std::shared_ptr<T>> out;
        for (auto it = m_entries.begin(); it != m_entries.end();) {
            if (auto e = it->lock()) {
                out.push_back(std::move(e));
                ++it;
            } else {
                it = m_entries.erase(it);
            }
        }
        return out;
    }

private:
    std::mutex m_mutex;
    QHash<QString, std::weak_ptr<T>> m_entries;
};

} // namespace quellix::store
