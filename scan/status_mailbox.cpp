#include "scan/status_mailbox.h"

#include <utility>

bool CStatusMailbox::Put(std::string text) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_text = std::move(text);
    ++m_nPuts;
    if (m_bPending) return false;
    m_bPending = true;
    m_bPendingSeen = true;
    m_lastDelivery = std::chrono::steady_clock::now().time_since_epoch().count();
    ++m_nDeliveries;
    return true;
}

bool CStatusMailbox::Wanted() const {
    if (m_bPendingSeen.load(std::memory_order_relaxed)) return false;
    const int64_t now = std::chrono::steady_clock::now().time_since_epoch().count();
    return now - m_lastDelivery.load(std::memory_order_relaxed) >=
           std::chrono::duration_cast<std::chrono::steady_clock::duration>(kInterval).count();
}

std::string CStatusMailbox::Take() {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_bPending = false;
    m_bPendingSeen = false;
    return m_text;
}

uint64_t CStatusMailbox::PutCount() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_nPuts;
}

uint64_t CStatusMailbox::DeliveryCount() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_nDeliveries;
}
