/*
 * CWmpReceiver: base class for objects that process request messages handed
 * to them by a message engine. Derive and override ProcessRq; a receiver used
 * without an engine is constructed with NULL.
 */
#ifndef CONNECTKOVO_WMP_RECEIVER_H
#define CONNECTKOVO_WMP_RECEIVER_H

#include <connectkovo/connectkovo.h>

#ifdef __cplusplus

class CWmpEngine;

class WMP_API CWmpReceiver {
 public:
  explicit CWmpReceiver(CWmpEngine* engine);
  virtual ~CWmpReceiver();
  CWmpReceiver(const CWmpReceiver&) = delete;
  CWmpReceiver& operator=(const CWmpReceiver&) = delete;

  // Called with a const wmp_msg* holding one request. Returns non-zero when
  // the request was handled; the base handles nothing.
  virtual int32_t ProcessRq(void* request);

  CWmpEngine* Engine() const { return m_engine; }

 protected:
  CWmpEngine* m_engine;
};

#endif /* __cplusplus */
#endif /* CONNECTKOVO_WMP_RECEIVER_H */
