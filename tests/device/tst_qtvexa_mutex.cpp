#include "qtvexa.h"

#include <packet/packetdriver.h>
#include <tum/tum.h>
#include <vexa.h>

#include <QTest>

#include <cerrno>
#include <cstring>
#include <dlfcn.h>

// The runtime library's mutex creation, library loading and the discovery start, replaced in
// this program (the page reaches both through the dynamic linker): creation
// fails on demand, and a start is only counted.
namespace {

bool g_failMutexCreate = false;
int g_starts = 0;

} // namespace

extern "C" int TUM_MutexCreate(TUM_MUTEX *mutex, int spin)
{
    if (g_failMutexCreate)
        return -ENOMEM;
    static const auto real = reinterpret_cast<int (*)(TUM_MUTEX *, int)>(dlsym(RTLD_NEXT, "TUM_MutexCreate"));
    return real(mutex, spin);
}

extern "C" void *TUM_LoadDSo(const char *name)
{
    static int driver = 0;
    return std::strcmp(name, "PACKET.dll") == 0 ? &driver : nullptr;
}

// The stand-in driver: a current table that chooses no interface.
const PKT_Driver *standInDriver()
{
    static PKT_Driver driver = [] {
        PKT_Driver d{};
        d.version = PKT_DRIVER_VERSION;
        d.structSize = sizeof d;
        d.interfaces = [](PKT_Interface *, size_t) { return 0; };
        d.links = [](const char *, PKT_Link *, size_t) { return 0; };
        return d;
    }();
    return &driver;
}

extern "C" void *TUM_GetSymbol(void *, const char *symbol)
{
    return std::strcmp(symbol, PKT_GET_DRIVER_SYMBOL) == 0 ? reinterpret_cast<void *>(&standInDriver) : nullptr;
}

extern "C" int VEXA_Start_V30(VEXA_REPORT_CALLBACK, int, void *)
{
    ++g_starts;
    return 0;
}

class TestQtVexaMutex : public QObject
{
    Q_OBJECT

private slots:
    void discoveryStartsOnlyWithItsMutex_data();
    void discoveryStartsOnlyWithItsMutex();
};

void TestQtVexaMutex::discoveryStartsOnlyWithItsMutex_data()
{
    QTest::addColumn<bool>("fail");
    QTest::addColumn<int>("starts");

    QTest::newRow("mutex created") << false << 1;
    QTest::newRow("mutex creation failed") << true << 0;
}

void TestQtVexaMutex::discoveryStartsOnlyWithItsMutex()
{
    QFETCH(bool, fail);
    QFETCH(int, starts);

    g_failMutexCreate = fail;
    g_starts = 0;
    const QtVexa page(nullptr, 0, 0, 0, 0);
    QCOMPARE(g_starts, starts);
}

QTEST_MAIN(TestQtVexaMutex)
#include "tst_qtvexa_mutex.moc"
