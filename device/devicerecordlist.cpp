#include "devicerecordlist.h"

DeviceRecordList::Handle DeviceRecordList::Adopt(Records &records)
{
    // Spliced nodes keep their addresses, now in m_records.
    const Handle first = records.begin();
    const bool none = records.empty();
    m_records.splice(m_records.end(), records);
    return none ? m_records.end() : first;
}
