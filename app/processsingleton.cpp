#include "processsingleton.h"

TUM_Mutex &SingletonMutex()
{
    static TUM_Mutex mutex;
    return mutex;
}
