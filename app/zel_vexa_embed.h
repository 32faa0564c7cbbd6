#pragma once

/**
 * Opening the main edition inside a host program.
 *
 * The host loads the library at run time and looks the three entry points up
 * by their decorated names, on every platform alike, through
 * ZEL_VEXA_FindEntry (below):
 *
 *     void *tool = TUM_LoadDSo("KRO-VEXA.dll");          // libKRO-VEXA.so beside the program
 *     auto open = reinterpret_cast<ZEL_VEXA_OpenDialogFn>(
 *         ZEL_VEXA_FindEntry(TUM_GetSymbol, tool, ZEL_VEXA_OPENDIALOG_NAME));
 *     open(frame, frameGrid, true, 0, 0, 0);
 *
 * (dlopen and dlsym do the same.) All three are called on the host's
 * user-interface thread, with the host's QApplication constructed.
 * ZEL_VEXA_OpenDialog first; before it has succeeded the other two do nothing.
 *
 * The library runs one discovery per process. A host with a discovery of its
 * own starts it before the first ZEL_VEXA_OpenDialog, so that the page's own
 * start fails silently, and forwards every report through ZEL_VEXA_CallBack
 * on its user-interface thread. When the embedded window is destroyed, its
 * page stops that one discovery, the host's included.
 */

class QGridLayout;
class QWidget;
struct VEXA_DEVICE_REPORT;

// C linkage, as on every platform; the arguments are Qt's, so the header is C++.
extern "C" {

/**
 * The decorated names hosts look the entry points up by. A library linked
 * with gold exports exactly these; one linked without it exports the plain
 * names inside them (ZEL_VEXA_OpenDialog, ...), which ZEL_VEXA_FindEntry
 * falls back to.
 */
#define ZEL_VEXA_OPENDIALOG_NAME "_ZEL_VEXA_OpenDialog@24"
#define ZEL_VEXA_CHANGESIZE_NAME "_ZEL_VEXA_ChangeSize@4"
#define ZEL_VEXA_CALLBACK_NAME "_ZEL_VEXA_CallBack@4"

/** A symbol lookup such as dlsym or TUM_GetSymbol. */
typedef void *(*ZEL_VEXA_LookupFn)(void *library, const char *name);

/**
 * The entry point `decoratedName` names in `library`, found with `lookup`:
 * under that name, or else under the plain name inside it
 * ("_ZEL_VEXA_OpenDialog@24" gives "ZEL_VEXA_OpenDialog"). Null when neither
 * is there, or when `decoratedName` is not of that form.
 */
inline void *ZEL_VEXA_FindEntry(ZEL_VEXA_LookupFn lookup, void *library, const char *decoratedName)
{
    if (void *entry = lookup(library, decoratedName))
        return entry;
    if (decoratedName[0] != '_')
        return nullptr;
    char plain[64];
    unsigned length = 0;
    for (const char *c = decoratedName + 1; *c != '@'; ++c) {
        if (*c == '\0' || length + 1 >= sizeof plain)
            return nullptr;
        plain[length++] = *c;
    }
    if (length == 0)
        return nullptr;
    plain[length] = '\0';
    return lookup(library, plain);
}

/**
 * Reads "Setup.xml" and installs the tool's translation into the host's
 * application, creates the tool's window on the first call (as a child of
 * `parent`, the three integers handed to the device page), puts it at (0, 0)
 * of `layout`, shows or hides its title bar and shows it. Later calls move the
 * same window into the layout given. False when the window cannot be created
 * (no QApplication, for one); a later call tries again.
 */
bool ZEL_VEXA_OpenDialog(QWidget *parent, QGridLayout *layout, bool showTitle, int i1, int i2, int i3);
/** Full styling (true) or the compact one for a host's smaller frame (false). */
void ZEL_VEXA_ChangeSize(bool full);
/**
 * Hands a device report to the page as if discovery had delivered it; the
 * report is copied before the call returns. 1 when the page took it, 0 for a
 * null report or when there is no window.
 */
int ZEL_VEXA_CallBack(const VEXA_DEVICE_REPORT *report);

typedef bool (*ZEL_VEXA_OpenDialogFn)(QWidget *, QGridLayout *, bool, int, int, int);
typedef void (*ZEL_VEXA_ChangeSizeFn)(bool);
typedef int (*ZEL_VEXA_CallBackFn)(const VEXA_DEVICE_REPORT *);
}
