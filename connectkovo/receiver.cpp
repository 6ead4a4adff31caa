#include <connectkovo/wmp_receiver.h>

CWmpReceiver::CWmpReceiver(CWmpEngine* engine) : m_engine(engine) {}

CWmpReceiver::~CWmpReceiver() = default;

int32_t CWmpReceiver::ProcessRq(void* /*request*/) {
  return 0;
}
