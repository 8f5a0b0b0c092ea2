#include "client/base/CSingleInstance.h"

#include "platform/SingleInstance.h"

CSingleInstance::CSingleInstance(std::string name) : m_mutexName(std::move(name)) {}

CSingleInstance::~CSingleInstance() { Close(); }

bool CSingleInstance::Check() {
  if (!m_lock) m_lock = std::make_unique<plat::InstanceLock>(m_mutexName);
  return m_lock->TryAcquire();
}

bool CSingleInstance::Publish(std::function<void()> onActivate) {
  // Only the first instance publishes. The lock stays held for the life of the process,
  // so later starts keep seeing a running client.
  if (!m_lock || !m_lock->Held()) return false;
  return m_lock->Publish(std::move(onActivate));
}

bool CSingleInstance::Find(int timeoutMs) {
  if (!m_lock || m_lock->Held()) return false;
  return m_lock->ActivateRunning(timeoutMs);
}

void CSingleInstance::Close() {
  if (m_lock) m_lock->Close();
  m_lock.reset();
}
