#include "scan/status_mailbox.h"

#include <utility>

bool CStatusMailbox::Put(std::string text) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_text = std::move(text);
    ++m_nPuts;
    if (m_bPending) return false;
    m_bPending = true;
    ++m_nDeliveries;
    return true;
}

std::string CStatusMailbox::Take() {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_bPending = false;
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
