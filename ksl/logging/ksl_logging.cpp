#include "ksl_logging.h"

CKSLLogging::CKSLLogging(bool bLogOnDestroy, unsigned short usOutputMask)
    : m_bLogOnDestroy(bLogOnDestroy), m_usOutputMask(usOutputMask), m_usDetailFlags(0), m_bLogged(false), m_settings()
{
}

CKSLLogging::~CKSLLogging() = default;
