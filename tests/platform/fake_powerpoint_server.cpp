// A stand-in for PowerPoint's automation server, out of process as the real
// one is. It answers the members the program uses through a hand-written
// IDispatch, logs every call with its named arguments and their variant
// types, and fails on command (orders in win_test_support.h). Its objects
// are current PowerPoint's or, when told, PowerPoint 2010's.
//   fake_powerpoint_server /RegServer     register as "PowerPoint.Application"
//                                         (a local server under our own class id)
//   fake_powerpoint_server /UnregServer   remove that registration
//   fake_powerpoint_server /Embedding     serve (how COM starts it)

#include <windows.h>

#include <oleauto.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "win_test_support.h"

using velloran::toUtf8;
namespace fakes = velloran::fakes;

namespace {

DWORD g_mainThread = 0, g_classCookie = 0, g_activeCookie = 0;
CLSID g_clsid{}; // the class "PowerPoint.Application" names now
// Stands for PowerPoint's main window, whose process a client may look up.
// Message-only: Wine without a display makes no other kind.
HWND g_window = nullptr;
IDispatch *g_app = nullptr, *g_presentations = nullptr;
// Set by Quit: the application whose last client reference ends the server.
// Ending at once would lose Quit's own reply.
IDispatch *g_quitApp = nullptr;
LONG g_openCount = 0; // presentations open

// Leaves the class table and the running-object table, so that a later
// creation starts a fresh server and a later lookup does not find this one.
// Quit does so, and so does a server about to crash or to hang until it is
// ended: Windows' service control manager drops the class of a server
// process that ends, while Wine 8 keeps it and answers every later creation
// of the class with REGDB_E_CLASSNOTREG.
void leaveTables() {
    CoRevokeClassObject(g_classCookie);
    RevokeActiveObject(g_activeCookie, nullptr);
}

std::wstring control(const wchar_t *name) {
    wchar_t buffer[1024];
    DWORD size = sizeof buffer;
    return RegGetValueW(HKEY_CURRENT_USER, fakes::kControlKey, name, RRF_RT_REG_SZ, nullptr, buffer,
                        &size) == ERROR_SUCCESS
               ? buffer
               : L"";
}

void log(const std::string &line) {
    if (std::FILE *file = _wfopen(control(L"Log").c_str(), L"ab")) {
        std::fputs((line + "\n").c_str(), file);
        std::fclose(file);
    }
}

// "\"C:\\a.pptx\":BSTR", "12:I4", "true:BOOL".
std::string render(const VARIANT &v) {
    if (v.vt == VT_BSTR)
        return std::string(1, '"') + toUtf8(v.bstrVal) + "\":BSTR";
    if (v.vt == VT_BOOL)
        return v.boolVal ? "true:BOOL" : "false:BOOL";
    return std::to_string(v.vt == VT_I4 ? v.lVal : v.vt) + (v.vt == VT_I4 ? ":I4" : ":vartype");
}

// The deck that Open opens, from the description file the test names
// (order "Deck"), one item a line, fields split by tabs, "\r" and "\v" in
// texts standing for PowerPoint's paragraph mark and line break:
//   title <text>                          the Title document property
//   size <width> <height>                 the slide size in points
//   slide <name>                          a slide
//   shape <box> [<placeholder>]           a text shape; a placeholder is
//                                         "title", "number", "footer" or "date"
//   picture <box> <title> <description>   a picture with its alternative text
//   group <box> <title> <description>     a group of the shapes up to its "end"
//   end
//   table <box> <rows> <columns>          a table; its cells are the next
//   cell [<rows> <columns>]               rows * columns "cell" lines, by rows;
//                                         one merged across more covers those
//   run <text> [<address> [<subaddress> [<font>]]]
//                                         a run of the last shape's or cell's
//                                         text, in Calibri unless told
//   notes <text>                          the last slide's notes
// where <box> is <left> <top> <width> <height>. Shapes go to the last slide
// or the group still open. Without a description the deck is one slide
// without shapes.
struct FakeRun {
    std::wstring text, address, subAddress, font;
};
// MsoShapeType values.
constexpr LONG kMsoGroup = 6, kMsoPicture = 13, kMsoPlaceholder = 14, kMsoTextBox = 17,
               kMsoTable = 19;
struct FakeShape {
    LONG type = kMsoTextBox, placeholder = 0;
    LONG left = 0, top = 0, width = 0, height = 0;
    std::wstring title, description; // alternative text
    int rows = 0, columns = 0;       // a table's; a cell's span
    std::vector<FakeRun> runs;       // none: no text frame
    std::vector<FakeShape> members;  // a group's shapes, a table's cells by rows
};
struct FakeSlide {
    std::wstring name, notes;
    std::vector<FakeShape> shapes;
};
struct FakeDeck {
    std::wstring title;
    LONG width = 960, height = 540;
    std::vector<FakeSlide> slides;
} g_deck;

std::wstring unescaped(std::wstring text) {
    for (const auto &[from, to] : {std::pair{L"\\r", L"\r"}, std::pair{L"\\v", L"\v"}})
        for (auto at = text.find(from); at != std::wstring::npos; at = text.find(from, at + 1))
            text.replace(at, 2, to);
    return text;
}

void loadDeck() {
    g_deck = FakeDeck{};
    std::ifstream in(std::filesystem::path(control(L"Deck")), std::ios::binary);
    std::vector<std::vector<FakeShape> *> open; // where shapes go: the slide, then open groups
    FakeShape *last = nullptr;                  // whose text a run continues
    FakeShape *table = nullptr;                 // the last table, whose cells follow it
    std::string line;
    while (std::getline(in, line)) {
        if (line.ends_with('\r')) // written in text mode
            line.pop_back();
        std::vector<std::wstring> f;
        std::wistringstream fields(velloran::toWide(line));
        for (std::wstring field; std::getline(fields, field, L'\t');)
            f.push_back(field);
        f.resize(8);
        const auto n = [&](int i) { return LONG(_wtoi(f[std::size_t(i)].c_str())); };
        const auto add = [&](LONG type) -> FakeShape & {
            last = &open.back()->emplace_back(
                FakeShape{.type = type, .left = n(1), .top = n(2), .width = n(3), .height = n(4)});
            return *last;
        };
        if (f[0] == L"title") {
            g_deck.title = f[1];
        } else if (f[0] == L"size") {
            g_deck.width = n(1), g_deck.height = n(2);
        } else if (f[0] == L"slide") {
            open.assign(1, &g_deck.slides.emplace_back(FakeSlide{f[1]}).shapes);
        } else if (f[0] == L"shape") {
            FakeShape &shape = add(kMsoTextBox);
            const std::pair<const wchar_t *, LONG> placeholders[] = {
                {L"title", 1}, {L"number", 13}, {L"footer", 15}, {L"date", 16}};
            for (const auto &[name, value] : placeholders)
                if (f[5] == name)
                    shape.type = kMsoPlaceholder, shape.placeholder = value;
        } else if (f[0] == L"picture" || f[0] == L"group") {
            FakeShape &shape = add(f[0] == L"group" ? kMsoGroup : kMsoPicture);
            shape.title = f[5], shape.description = f[6];
            if (shape.type == kMsoGroup)
                open.push_back(&shape.members);
        } else if (f[0] == L"end") {
            open.pop_back();
        } else if (f[0] == L"table") {
            table = &add(kMsoTable);
            table->rows = n(5), table->columns = n(6);
        } else if (f[0] == L"cell") {
            last = &table->members.emplace_back();
            last->rows = std::max(1L, n(1)), last->columns = std::max(1L, n(2));
            last->width = table->width / table->columns * last->columns;
            last->height = table->height / table->rows * last->rows;
        } else if (f[0] == L"run") {
            last->runs.push_back(
                {unescaped(f[1]), f[2], f[3], f[4].empty() ? std::wstring(L"Calibri") : f[4]});
        } else if (f[0] == L"notes") {
            g_deck.slides.back().notes = unescaped(f[1]);
        }
    }
    if (g_deck.slides.empty())
        g_deck.slides.push_back({L"Slide1"});
}

// What Slide.Export writes: one grey pixel, as a real PNG. Nothing reads the
// pictures' pixels; the page only names them.
void writePng(const std::wstring &file) {
    static const char kPng[] =
        "\x89PNG\r\n\x1a\n\0\0\0\rIHDR\0\0\0\x01\0\0\0\x01\x08\0\0\0\0\x3a\x7e\x9b\x55\0\0\0\nIDAT"
        "\x78\x9c\x63\x68\0\0\0\x82\0\x81\x77\xcd\x72\xb6\0\0\0\0IEND\xae\x42\x60\x82";
    std::ofstream(std::filesystem::path(file), std::ios::binary).write(kPng, sizeof kPng - 1);
}

// Every object's members, a table for each kind. A member's dispid is its
// kind times 100 plus its place in that table, so each object answers only
// the names of its own members; dispid 0 is the application's default
// property. A put of a member that is not a settable property fails as a
// late-bound call on the wrong kind of member does.
// clang-format off
#define KINDS(X)                                                                               \
    X(Application) X(Presentations) X(Presentation) X(Slides) X(Slide) X(Shapes) X(Shape)      \
    X(TextFrame) X(TextRange) X(ActionSettings) X(ActionSetting) X(Hyperlink) X(NotesPage)     \
    X(PlaceholderFormat) X(PageSetup) X(DocumentProperties) X(DocumentProperty) X(GroupShapes) \
    X(Table) X(Rows) X(Row) X(Columns) X(Column) X(Cell) X(Font)
// clang-format on
#define AS_ENUM(kind) k##kind,
#define AS_NAME(kind) #kind,
enum Kind { KINDS(AS_ENUM) kNone };
const char *const kKindNames[] = {KINDS(AS_NAME)};
enum Access { kGet, kPut, kCall, kItem }; // kPut: settable; kItem: a call by position
struct Member {
    const wchar_t *name;
    Kind child = kNone; // a get of a part at the same place of the deck
    Access access = kGet;
    unsigned params = 0; // bits into kParams: the arguments it takes, in this order
};
// The kinds of member, as the table below writes them.
constexpr auto get = [](const wchar_t *name, Kind part = kNone) { return Member{name, part}; };
constexpr auto put = [](const wchar_t *name) { return Member{name, kNone, kPut}; };
constexpr auto call = [](const wchar_t *name, unsigned params = 0) {
    return Member{name, kNone, kCall, params};
};
// A collection's Item, which gets the part that is its item.
constexpr auto item = [](Kind part) { return Member{L"Item", part, kItem, 1 << 6}; };
const std::vector<Member> kMembers[] = {
    // Application
    {get(L"<default>"), put(L"Visible"), put(L"DisplayAlerts"), get(L"Presentations"), get(L"HWND"),
     get(L"Version"), call(L"Quit")},
    {get(L"Count"), call(L"Open", 0b11'1001)}, // Presentations
    // Presentation
    {call(L"SaveAs", 0b0111), call(L"Close"), get(L"Slides", kSlides),
     get(L"PageSetup", kPageSetup), get(L"BuiltInDocumentProperties", kDocumentProperties),
     get(L"DefaultLanguageID")},
    {get(L"Count"), item(kSlide)}, // Slides
    {get(L"Name"), get(L"Shapes", kShapes), get(L"NotesPage", kNotesPage),
     call(L"Export", 0b1110'0000'0001)},
    {get(L"Count"), item(kShape), get(L"Placeholders", kShapes)}, // Shapes
    // Shape
    {get(L"HasTextFrame"), get(L"Left"), get(L"Top"), get(L"Width"), get(L"Height"),
     get(L"TextFrame", kTextFrame), get(L"PlaceholderFormat", kPlaceholderFormat), get(L"Type"),
     get(L"Title"), get(L"AlternativeText"), get(L"GroupItems", kGroupShapes), get(L"HasTable"),
     get(L"Table", kTable)},
    {get(L"TextRange", kTextRange)},
    // TextRange
    {get(L"Text"), call(L"Runs", 0b1'1000'0000), get(L"Count"),
     get(L"ActionSettings", kActionSettings), get(L"Font", kFont)},
    {item(kActionSetting)},                    // ActionSettings
    {get(L"Hyperlink", kHyperlink)},           // ActionSetting
    {get(L"Address"), get(L"SubAddress")},     // Hyperlink
    {get(L"Shapes", kShapes)},                 // NotesPage
    {get(L"Type")},                            // PlaceholderFormat
    {get(L"SlideWidth"), get(L"SlideHeight")}, // PageSetup
    {item(kDocumentProperty)},                 // DocumentProperties
    {get(L"Value")},                           // DocumentProperty
    {get(L"Count"), item(kShape)},             // GroupShapes
    {get(L"Rows", kRows), get(L"Columns", kColumns), call(L"Cell", 0b11 << 12)}, // Table
    {get(L"Count"), item(kRow)},                                                 // Rows
    {get(L"Height")},                                                            // Row
    {get(L"Count"), item(kColumn)},                                              // Columns
    {get(L"Width")},                                                             // Column
    {get(L"Shape", kShape)},                                                     // Cell
    {get(L"Name"), get(L"Size")},                                                // Font
};
static_assert(std::size(kMembers) == kNone);
const wchar_t *const kParams[] = {L"FileName",   L"FileFormat", L"EmbedTrueTypeFonts",
                                  L"ReadOnly",   L"Untitled",   L"WithWindow",
                                  L"Index",      L"Start",      L"Length",
                                  L"FilterName", L"ScaleWidth", L"ScaleHeight",
                                  L"Row",        L"Column"};
using Arguments = const VARIANT * [std::size(kParams)]; // one call's, by their index in kParams

// Which part of the deck an object stands for, numbered from 1; 0 for none
// (for a text range: all its runs). A shape is found by its number on the
// slide, then in each group it is in, then as a cell of its table. On a
// notes page, shape 2 is the body
// placeholder holding the notes, shape 1 the slide's picture.
struct Where {
    int slide = 0;
    std::vector<int> shape;
    int run = 0;
    bool notes = false;
};

// The interface queries of an object that lives as long as the server.
template <class Interface, const IID &kIid> struct Static : Interface {
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void **out) override {
        *out = riid == IID_IUnknown || riid == kIid ? this : nullptr;
        return *out ? S_OK : E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
};

class FakeObject final : public IDispatch {
public:
    explicit FakeObject(Kind kind, Where at = {}) : m_kind(kind), m_at(at) {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void **out) override {
        *out = riid == IID_IUnknown || riid == IID_IDispatch ? this : nullptr;
        if (*out)
            AddRef();
        return *out ? S_OK : E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++m_refs; }
    ULONG STDMETHODCALLTYPE Release() override {
        const ULONG left = --m_refs;
        if (left == 0)
            delete this;
        else if (left == 1 && this == g_quitApp)
            PostThreadMessageW(g_mainThread, WM_QUIT, 0, 0); // quit, and nobody holds it any more
        return left;
    }
    // No type information: every call is late-bound by name.
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT *) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo **) override { return E_NOTIMPL; }

    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR *names, UINT count, LCID,
                                            DISPID *ids) override {
        std::fill(ids, ids + count, DISPID_UNKNOWN);
        for (std::size_t i = m_kind == kApplication; i < kMembers[m_kind].size(); ++i)
            if (_wcsicmp(names[0], kMembers[m_kind][i].name) == 0) // not the default property
                ids[0] = static_cast<DISPID>(m_kind * 100 + i);
        if (ids[0] == DISPID_UNKNOWN)
            log("unknown " + name() + "." + toUtf8(names[0]));
        for (UINT n = 1; n < count && ids[0] != DISPID_UNKNOWN; ++n)
            for (std::size_t p = 0; p < std::size(kParams); ++p)
                if ((memberOf(ids[0])->params >> p & 1) && _wcsicmp(names[n], kParams[p]) == 0)
                    ids[n] = static_cast<DISPID>(p);
        return std::count(ids, ids + count, DISPID_UNKNOWN) ? DISP_E_UNKNOWNNAME : S_OK;
    }

    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS *dp,
                                     VARIANT *result, EXCEPINFO *exception, UINT *) override {
        const bool isPut = flags & DISPATCH_PROPERTYPUT;
        const Member *found = memberOf(id);
        if (!found || (isPut && found->access != kPut))
            return DISP_E_MEMBERNOTFOUND;
        const Member &member = *found;
        std::string line = name() + "." + toUtf8(member.name);
        Arguments args = {};
        if (isPut) {
            if (dp->cArgs != 1 || dp->cNamedArgs != 1 ||
                dp->rgdispidNamedArgs[0] != DISPID_PROPERTYPUT)
                return DISP_E_PARAMNOTFOUND;
            line = "put " + line + " = " + render(dp->rgvarg[0]);
            args[0] = &dp->rgvarg[0];
        } else {
            // Arguments are named, but a collection's Item takes its index by
            // position, as every late-bound caller of PowerPoint passes it.
            const UINT positional = dp->cArgs - dp->cNamedArgs;
            if (positional != (member.access == kItem ? 1u : 0u))
                return DISP_E_BADPARAMCOUNT;
            if (positional)
                args[6] = &dp->rgvarg[dp->cArgs - 1];
            for (UINT i = 0; i < dp->cNamedArgs; ++i) {
                const auto p = static_cast<std::size_t>(dp->rgdispidNamedArgs[i]);
                if (p >= std::size(kParams) || !(member.params >> p & 1))
                    return DISP_E_PARAMNOTFOUND;
                args[p] = &dp->rgvarg[i];
            }
            const bool call = member.access != kGet;
            line = (call ? "call " : "get ") + line + (call ? "(" : "");
            for (std::size_t p = 0; p < std::size(kParams); ++p)
                if (args[p])
                    line += (line.ends_with("(") ? "" : ", ") + toUtf8(kParams[p]) + "=" +
                            render(*args[p]);
            line += call ? ")" : "";
        }
        log(line);
        try {
            if (_wcsicmp(control(L"FailOn").c_str(), member.name) == 0)
                throw std::wstring(L"The fake server was told to fail.");
            if (isPut)
                checkPut(member.name, *args[0]);
            else
                act(member, args, result);
            return S_OK;
        } catch (const std::exception &) { // a member of a part the deck lacks
            return fail(L"The fake server has no such part of the deck.", exception);
        } catch (const std::wstring &description) {
            return fail(description, exception);
        }
    }

private:
    // The description travels back in EXCEPINFO.
    static HRESULT fail(const std::wstring &description, EXCEPINFO *exception) {
        if (exception) {
            *exception = EXCEPINFO{};
            exception->bstrDescription = SysAllocString(description.c_str());
            exception->scode = E_FAIL;
        }
        return DISP_E_EXCEPTION;
    }

    std::string name() const { return kKindNames[m_kind]; }
    // The member a dispid names on this object, or nullptr.
    const Member *memberOf(DISPID id) const {
        const auto place = static_cast<std::size_t>(id % 100);
        if (id == 0)
            return &kMembers[kApplication][0];
        return id > 0 && id / 100 == m_kind && place < kMembers[m_kind].size()
                   ? &kMembers[m_kind][place]
                   : nullptr;
    }

    // DisplayAlerts is a PpAlertLevel: ppAlertsNone (1) or ppAlertsAll (2).
    static void checkPut(const std::wstring &member, const VARIANT &value) {
        if (member == L"DisplayAlerts" &&
            !(value.vt == VT_I4 && (value.lVal == 1 || value.lVal == 2)))
            throw std::wstring(L"Application.DisplayAlerts : Invalid enumeration value.");
    }

    // How many items a collection holds; a text range: runs.
    std::size_t count() const {
        switch (m_kind) {
        case kPresentations:
            return std::size_t(g_openCount);
        case kSlides:
            return g_deck.slides.size();
        case kShapes:
            return m_at.notes ? 2 : slide().shapes.size();
        case kGroupShapes:
            return shape().members.size();
        case kRows:
            return std::size_t(shape().rows);
        case kColumns:
            return std::size_t(shape().columns);
        case kTextRange:
            return m_at.run ? 1 : shape().runs.size();
        default:
            return 2; // ActionSettings: ppMouseClick and ppMouseOver
        }
    }
    const FakeSlide &slide() const { return g_deck.slides.at(std::size_t(m_at.slide - 1)); }
    const FakeShape &shape() const {
        const FakeShape *shape = &slide().shapes.at(std::size_t(m_at.shape.at(0) - 1));
        for (std::size_t i = 1; i < m_at.shape.size(); ++i)
            shape = &shape->members.at(std::size_t(m_at.shape[i] - 1));
        return *shape;
    }

    // The effect of a get or call.
    void act(const Member &row, const Arguments &args, VARIANT *result) {
        const std::wstring member = row.name;
        const auto answer = [&](VARTYPE vt) -> VARIANT & {
            result->vt = vt;
            return *result;
        };
        const auto text = [&](const std::wstring &s) {
            answer(VT_BSTR).bstrVal = SysAllocString(s.c_str());
        };
        const auto number = [&](LONG n) { answer(VT_I4).lVal = n; };
        const auto child = [&](Kind kind, Where at) {
            answer(VT_DISPATCH).pdispVal = new FakeObject(kind, at); // its one reference goes along
        };
        const auto intArg = [&](int p) {
            return args[p] && args[p]->vt == VT_I4 ? args[p]->lVal : 0;
        };
        const std::wstring file = args[0] && args[0]->vt == VT_BSTR ? args[0]->bstrVal : L"";
        Where at = m_at;
        if (member == L"Count")
            return number(LONG(count()));
        if (row.access == kItem && m_kind != kDocumentProperties) { // by position
            const int i = intArg(6);
            if (i < 1 || std::size_t(i) > count())
                throw std::wstring(L"Item : Integer out of range.");
            if (m_kind == kSlides)
                at = {i};
            if (m_kind == kShapes)
                at.shape.clear();
            if (m_kind == kShapes || m_kind == kGroupShapes)
                at.shape.push_back(i);
        } else if (row.access == kItem && (!args[6] || args[6]->vt != VT_BSTR ||
                                           _wcsicmp(args[6]->bstrVal, L"Title") != 0)) {
            throw std::wstring(L"DocumentProperties.Item : Invalid property name.");
        }
        if (row.child != kNone) {
            if ((row.child == kGroupShapes && shape().type != kMsoGroup) ||
                (row.child == kTable && shape().type != kMsoTable) ||
                (row.child == kPlaceholderFormat && !m_at.notes && shape().type != kMsoPlaceholder))
                throw L"Shape." + member + L" : This member can only be accessed for a " +
                    (row.child == kGroupShapes ? L"group."
                     : row.child == kTable     ? L"table."
                                               : L"placeholder.");
            at.notes = at.notes || row.child == kNotesPage; // its shapes hold the notes
            return child(row.child, at);
        }
        switch (m_kind) {
        case kApplication:
            if (member == L"<default>")
                text(L"Microsoft PowerPoint");
            else if (member == L"HWND")
                number(static_cast<LONG>(reinterpret_cast<INT_PTR>(g_window)));
            else if (member == L"Version")
                text(control(L"Version").empty() ? L"16.0" : control(L"Version"));
            else if (member == L"Presentations")
                (answer(VT_DISPATCH).pdispVal = g_presentations)->AddRef();
            else if (member == L"Quit") {
                // Leave the running-object table and the class table at once, so a
                // later lookup or creation does not find this server; it ends when
                // its clients let go of the application.
                g_quitApp = this;
                leaveTables();
            }
            break;
        case kPresentations: { // Open
            if (GetFileAttributesW(file.c_str()) == INVALID_FILE_ATTRIBUTES)
                throw L"The presentation " + file + L" cannot be opened.";
            const std::wstring hangOn = control(L"HangOn");
            if (!hangOn.empty() && file.find(hangOn) != std::wstring::npos) {
                leaveTables(); // as Windows will once it is ended
                Sleep(60000);  // a prompt nobody answers, until the client ends us
                throw std::wstring(L"Nobody answered the prompt.");
            }
            loadDeck();
            ++g_openCount;
            child(kPresentation, {});
            result->pdispVal->AddRef(); // a reference never released: Quit ends the server
            break;
        }
        case kPresentation:
            if (member == L"SaveAs") {
                // Current PowerPoint no longer has the HTML formats: ppSaveAsHTML,
                // ppSaveAsHTMLv3, ppSaveAsHTMLDual and ppSaveAsWebArchive.
                const LONG format = intArg(1);
                if (control(L"Version") != L"14.0" && // current PowerPoint, not 2010
                    (format == 12 || format == 13 || format == 14 || format == 20))
                    throw std::wstring(L"Presentation.SaveAs : This file format is not supported.");
                std::FILE *page = _wfopen(file.c_str(), L"wb");
                if (!page)
                    throw L"The web page " + file + L" could not be written.";
                std::fputs("<html>", page);
                const std::wstring crashOn = control(L"CrashOn");
                if (!crashOn.empty() && file.find(crashOn) != std::wstring::npos) {
                    leaveTables();                            // as Windows will once it has crashed
                    TerminateProcess(GetCurrentProcess(), 3); // halfway through the page
                }
                std::fclose(page);
            } else if (member == L"Close") {
                --g_openCount;
            } else {
                number(1031); // DefaultLanguageID: msoLanguageIDGerman
            }
            break;
        case kSlide:
            if (member == L"Name")
                text(slide().name);
            else
                writePng(file);
            break;
        case kShape:
            if (m_at.notes)
                number(member == L"HasTextFrame" ? (m_at.shape[0] == 2 ? -1 : 0)
                                                 : LONG(kMsoPlaceholder));
            else if (member == L"HasTextFrame")
                number(shape().runs.empty() ? 0 : -1);
            else if (member == L"HasTable")
                number(shape().type == kMsoTable ? -1 : 0);
            else if (member == L"Title" || member == L"AlternativeText")
                text(member == L"Title" ? shape().title : shape().description);
            else
                number(member == L"Type"    ? shape().type
                       : member == L"Left"  ? shape().left
                       : member == L"Top"   ? shape().top
                       : member == L"Width" ? shape().width
                                            : shape().height);
            break;
        case kTextRange:
            if (member == L"Text") {
                std::wstring all;
                if (m_at.notes)
                    all = slide().notes;
                else
                    for (std::size_t r = 0; r < shape().runs.size(); ++r)
                        if (m_at.run == 0 || std::size_t(m_at.run) == r + 1)
                            all += shape().runs[r].text;
                text(all);
            } else { // Runs
                at.run = intArg(7);
                child(kTextRange, at);
            }
            break;
        case kFont: // every run is 24 pt
            if (member == L"Size")
                number(24);
            else
                text(shape().runs.at(std::size_t(std::max(m_at.run, 1) - 1)).font);
            break;
        case kTable: {
            const int r = intArg(12), c = intArg(13);
            if (r < 1 || r > shape().rows || c < 1 || c > shape().columns)
                throw std::wstring(L"Table.Cell : Integer out of range.");
            // A cell merged into another is that one, as PowerPoint answers it.
            for (int i = 1; i <= int(shape().members.size()); ++i) {
                const int top = (i - 1) / shape().columns + 1, left = (i - 1) % shape().columns + 1;
                const FakeShape &cell = shape().members[std::size_t(i - 1)];
                if (top <= r && r < top + cell.rows && left <= c && c < left + cell.columns)
                    at.shape.push_back(i);
            }
            at.shape.resize(m_at.shape.size() + 1); // the first covering cell, or none
            child(kCell, at);
            break;
        }
        case kRow: // rows of one height, columns of one width
            number(shape().height / shape().rows);
            break;
        case kColumn:
            number(shape().width / shape().columns);
            break;
        case kHyperlink: {
            const FakeRun &run = shape().runs.at(std::size_t(m_at.run - 1));
            text(member == L"Address" ? run.address : run.subAddress);
            break;
        }
        case kPlaceholderFormat:
            number(m_at.notes ? m_at.shape[0] : shape().placeholder); // notes: ppPlaceholderBody
            break;
        case kPageSetup:
            number(member == L"SlideWidth" ? g_deck.width : g_deck.height);
            break;
        case kDocumentProperty:
            text(g_deck.title);
            break;
        default: // every member of the others gets a part: see Member::child
            break;
        }
    }

    ULONG m_refs = 1; // COM calls this single-threaded server on its one thread
    Kind m_kind;
    Where m_at;
};

// Rejects the first `Busy` automation calls, as PowerPoint does while it
// starts or shows a box. Real PowerPoint answers SERVERCALL_RETRYLATER; Wine
// retries nothing on the client's side and lets such a call through, so the
// fake answers SERVERCALL_REJECTED, which reaches the client as
// RPC_E_CALL_REJECTED on both.
struct BusyFilter final : Static<IMessageFilter, IID_IMessageFilter> {
    DWORD STDMETHODCALLTYPE HandleInComingCall(DWORD, HTASK, DWORD, LPINTERFACEINFO info) override {
        if (!info || info->iid != IID_IDispatch || m_rejected >= _wtoi(control(L"Busy").c_str()))
            return SERVERCALL_ISHANDLED;
        ++m_rejected;
        log("busy: call rejected");
        return SERVERCALL_REJECTED;
    }
    DWORD STDMETHODCALLTYPE RetryRejectedCall(HTASK, DWORD, DWORD) override { return ~0u; }
    DWORD STDMETHODCALLTYPE MessagePending(HTASK, DWORD, DWORD) override {
        return PENDINGMSG_WAITDEFPROCESS;
    }
    int m_rejected = 0;
};

// One application per server, as PowerPoint is a single instance.
struct Factory final : Static<IClassFactory, IID_IClassFactory> {
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown *outer, REFIID riid, void **out) override {
        log("create PowerPoint.Application");
        return outer ? CLASS_E_NOAGGREGATION : g_app->QueryInterface(riid, out);
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }
};

// RegSetValueW writes a key's default value, making the key when missing.
int registerServer(const wchar_t *clsid) {
    wchar_t exe[MAX_PATH];
    GetModuleFileNameW(nullptr, exe, MAX_PATH);
    const std::wstring clsidKey = std::wstring(L"CLSID\\") + clsid + L"\\LocalServer32",
                       server = L"\"" + std::wstring(exe) + L"\"";
    return RegSetValueW(HKEY_CLASSES_ROOT, L"PowerPoint.Application\\CLSID", REG_SZ, clsid, 0) ||
           RegSetValueW(HKEY_CLASSES_ROOT, clsidKey.c_str(), REG_SZ, server.c_str(), 0);
}

void registerActive() {
    if (!g_quitApp)
        RegisterActiveObject(g_app, g_clsid, ACTIVEOBJECT_STRONG, &g_activeCookie);
}

int serve() {
    g_mainThread = GetCurrentThreadId();
    MSG msg;
    PeekMessageW(&msg, nullptr, 0, 0, PM_NOREMOVE); // create this thread's queue
    if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)))
        return 1;
    WNDCLASSW windowClass{.lpfnWndProc = DefWindowProcW,
                          .hInstance = GetModuleHandleW(nullptr),
                          .lpszClassName = L"FakePowerPoint"};
    RegisterClassW(&windowClass);
    g_window = CreateWindowExW(0, windowClass.lpszClassName, L"PowerPoint", 0, 0, 0, 0, 0,
                               HWND_MESSAGE, nullptr, windowClass.hInstance, nullptr);
    g_app = new FakeObject(kApplication);
    g_presentations = new FakeObject(kPresentations);
    static Factory factory;
    static BusyFilter filter;
    CoRegisterMessageFilter(&filter, nullptr);
    if (FAILED(CLSIDFromProgID(fakes::kPowerPointProgId, &g_clsid)) ||
        FAILED(CoRegisterClassObject(g_clsid, &factory, CLSCTX_LOCAL_SERVER, REGCLS_MULTIPLEUSE,
                                     &g_classCookie)))
        return 1;
    // Office enters the running-object table a while after its class is
    // served, so an attach right after a create can fail.
    const UINT lateMs = _wtoi(control(L"LateRegister").c_str());
    if (lateMs == 0)
        registerActive();
    else
        SetTimer(nullptr, 0, lateMs, [](HWND, UINT, UINT_PTR timer, DWORD) {
            KillTimer(nullptr, timer);
            log("registered late in the running-object table");
            registerActive();
        });
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) // until the application has quit
        DispatchMessageW(&msg);
    g_app->Release();
    CoUninitialize();
    return 0;
}

} // namespace

// Built with -municode: COM starts it with "-Embedding" or "/Embedding".
int wmain(int argc, wchar_t **argv) {
    const std::wstring arg = argc > 1 ? argv[1] + (argv[1][0] == L'/' || argv[1][0] == L'-') : L"";
    if (_wcsicmp(arg.c_str(), L"RegServer") == 0)
        return registerServer(fakes::kFakePowerPointClsidText);
    if (_wcsicmp(arg.c_str(), L"UnregServer") == 0) {
        RegDeleteTreeW(HKEY_CLASSES_ROOT, fakes::kPowerPointProgId);
        RegDeleteTreeW(HKEY_CLASSES_ROOT,
                       (std::wstring(L"CLSID\\") + fakes::kFakePowerPointClsidText).c_str());
        return 0;
    }
    return _wcsicmp(arg.c_str(), L"Embedding") == 0 ? serve() : 2;
}
