// Printing placement, printing to a PDF, saving the image as a bitmap,
// display depth and the extension query.
#include "OpenGLVexPanel.h"
#include "PanelPrint.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QOpenGLContext>
#include <QOpenGLFunctions>
#include <QPrinter>
#include <QTemporaryDir>
#include <QTest>
#include <QWidget>
#include <QtEndian>

#include <memory>
#include <stdexcept>
#include <string>

using namespace vistrel;

namespace {

TPrintDevice Printer720(int horzRes = 5760, int vertRes = 7920) {
    // 8 x 11 inches of printable area at 720 pixels per inch.
    TPrintDevice d;
    d.ppiX = 720;
    d.ppiY = 720;
    d.horzRes = horzRes;
    d.vertRes = vertRes;
    return d;
}

struct PrintHost {
    std::unique_ptr<QWidget> window = std::make_unique<QWidget>();
    TOpenGLVexPanel* panel = new TOpenGLVexPanel(window.get());
    int errors = 0;

    PrintHost() {
        window->resize(96, 64);
        panel->setGeometry(0, 0, 96, 64);
        panel->OnError = [this](TOpenGLVexPanel*) { ++errors; };
    }
    bool Show() {
        window->show();
        return QTest::qWaitForWindowExposed(window.get());
    }
    void ClearTo(int r, int g, int b, float alpha = 1.0f) {
        panel->OnPaint = [r, g, b, alpha](TOpenGLVexPanel*) {
            glClearColor(r / 255.0f, g / 255.0f, b / 255.0f, alpha);
            glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        };
    }
};

QByteArray ReadAll(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return {};
    return f.readAll();
}

// Page objects of a PDF: "/Type /Page" not followed by "s" (/Pages is the
// page tree).
int PdfPageCount(const QByteArray& pdf) {
    int pages = 0;
    const QByteArray key("/Type /Page");
    for (qsizetype at = pdf.indexOf(key); at >= 0; at = pdf.indexOf(key, at + 1)) {
        const qsizetype next = at + key.size();
        if (next >= pdf.size() || pdf[next] != 's') ++pages;
    }
    return pages;
}

bool Near(QColor c, int r, int g, int b, int tolerance = 3) {
    return std::abs(c.red() - r) <= tolerance && std::abs(c.green() - g) <= tolerance &&
           std::abs(c.blue() - b) <= tolerance;
}

}  // namespace

// ---------------------------------------------------------------------------
// Placement

TEST(PrintPlacementTest, MarginsAreTruncatedToWholePixels) {
    EXPECT_EQ(PrintMargin(720), 129);  // 129.6
    EXPECT_EQ(PrintMargin(600), 108);
    EXPECT_EQ(PrintMargin(96), 17);  // 17.28
    EXPECT_EQ(PrintMargin(100), 18);
    EXPECT_EQ(PrintMargin(0), 0);
}

TEST(PrintPlacementTest, ProportionalAt96PixelsPerInch) {
    std::int32_t ppi = 96;
    const TPrintPlacement p = PrintPlacement(pglProportional, ppi, 480, 360, Printer720());
    EXPECT_EQ(p, (TPrintPlacement{129, 129, 3729, 2829}));  // 5 x 3.75 inches
    EXPECT_EQ(ppi, 96);
}

TEST(PrintPlacementTest, ProportionalTruncates) {
    std::int32_t ppi = 96;
    // 100 / 96 * 720 = 750; 101 / 96 * 720 = 757.5.
    const TPrintPlacement p = PrintPlacement(pglProportional, ppi, 101, 100, Printer720());
    EXPECT_EQ(p.right, 757 + 129);
    EXPECT_EQ(p.bottom, 750 + 129);
    ppi = 72;  // one inch per 72 screen pixels: 480 pixels are 6.67 inches
    const TPrintPlacement q = PrintPlacement(pglProportional, ppi, 480, 360, Printer720());
    EXPECT_EQ(q.right, 4800 + 129);
    EXPECT_EQ(q.bottom, 3600 + 129);
}

TEST(PrintPlacementTest, ZeroPixelsPerInchBecomes96) {
    std::int32_t ppi = 0;
    const TPrintPlacement p = PrintPlacement(pglProportional, ppi, 480, 360, Printer720());
    EXPECT_EQ(p, (TPrintPlacement{129, 129, 3729, 2829}));
    EXPECT_EQ(ppi, 96);
    ppi = -7;
    EXPECT_EQ(PrintPlacement(pglProportional, ppi, 480, 360, Printer720()), p);
    EXPECT_EQ(ppi, 96);
    // Only the proportional mode reads it.
    ppi = 0;
    PrintPlacement(pglNone, ppi, 480, 360, Printer720());
    PrintPlacement(pglPrintToFit, ppi, 480, 360, Printer720());
    EXPECT_EQ(ppi, 0);
}

TEST(PrintPlacementTest, Unscaled) {
    std::int32_t ppi = 96;
    EXPECT_EQ(PrintPlacement(pglNone, ppi, 480, 360, Printer720()), (TPrintPlacement{129, 129, 609, 489}));
    EXPECT_EQ(PrintPlacement(TOpenGLPrintScale(7), ppi, 480, 360, Printer720()), (TPrintPlacement{129, 129, 609, 489}));
}

TEST(PrintPlacementTest, FitOnAPortraitPage) {
    std::int32_t ppi = 96;
    // availW = 5760 - 258 = 5502 <= availH = 7920 - 258 = 7662:
    // R = availW, B = (5502 div 480 = 11) * 360.
    EXPECT_EQ(PrintPlacement(pglPrintToFit, ppi, 480, 360, Printer720()), (TPrintPlacement{129, 129, 5502, 3960}));
    // A square area counts as portrait.
    EXPECT_EQ(PrintPlacement(pglPrintToFit, ppi, 480, 360, Printer720(1000, 1000)),
              (TPrintPlacement{129, 129, 742, 360}));
}

TEST(PrintPlacementTest, FitOnALandscapePage) {
    std::int32_t ppi = 96;
    // availW = 7662 > availH = 5502: R = (5502 div 360 = 15) * 480, B = availH.
    EXPECT_EQ(PrintPlacement(pglPrintToFit, ppi, 480, 360, Printer720(7920, 5760)),
              (TPrintPlacement{129, 129, 7200, 5502}));
}

TEST(PrintPlacementTest, FitWithAnEmptyImage) {
    std::int32_t ppi = 96;
    EXPECT_EQ(PrintPlacement(pglPrintToFit, ppi, 0, 0, Printer720()), (TPrintPlacement{129, 129, 5502, 0}));
    EXPECT_EQ(PrintPlacement(pglPrintToFit, ppi, 0, 0, Printer720(7920, 5760)), (TPrintPlacement{129, 129, 0, 5502}));
}

// ---------------------------------------------------------------------------
// Extension list

TEST(ExtensionListTest, WholeEntriesOnly) {
    const char* list = "GL_ARB_multitexture GL_EXT_texture GL_EXT_texture3D ";
    EXPECT_TRUE(ExtensionListContains(list, "GL_ARB_multitexture"));
    EXPECT_TRUE(ExtensionListContains(list, "GL_EXT_texture"));
    EXPECT_TRUE(ExtensionListContains(list, "GL_EXT_texture3D"));
    EXPECT_FALSE(ExtensionListContains(list, "GL_EXT_tex"));
    EXPECT_FALSE(ExtensionListContains(list, "GL_ARB_multitexture GL_EXT_texture"));
    EXPECT_FALSE(ExtensionListContains(list, "gl_arb_multitexture"));
    EXPECT_FALSE(ExtensionListContains(list, "multitexture"));
    EXPECT_FALSE(ExtensionListContains(list, ""));
    EXPECT_TRUE(ExtensionListContains("GL_A", "GL_A"));
    EXPECT_FALSE(ExtensionListContains("", "GL_A"));
    EXPECT_FALSE(ExtensionListContains(nullptr, "GL_A"));
}

// ---------------------------------------------------------------------------
// On screen

TEST(PanelPrintTest, PrintsOnePageToAPdf) {
    QTemporaryDir dir;
    PrintHost host;
    host.ClearTo(200, 40, 10);
    ASSERT_TRUE(host.Show());
    int paints = 0;
    auto paint = host.panel->OnPaint;
    host.panel->OnPaint = [&](TOpenGLVexPanel* s) {
        ++paints;
        paint(s);
    };

    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    const QString file = dir.filePath(QStringLiteral("panel.pdf"));
    printer.setOutputFileName(file);
    host.panel->PrinTOpenGLVexPanel(printer);

    EXPECT_GE(paints, 1);  // the image was drawn for the print
    EXPECT_EQ(host.errors, 0);
    const QByteArray pdf = ReadAll(file);
    ASSERT_FALSE(pdf.isEmpty());
    EXPECT_TRUE(pdf.startsWith("%PDF"));
    EXPECT_EQ(PdfPageCount(pdf), 1);
    EXPECT_EQ(host.panel->PixelsPerInch(), 96);
}

TEST(PanelPrintTest, EveryScaleModePrints) {
    QTemporaryDir dir;
    PrintHost host;
    host.ClearTo(10, 200, 40);
    ASSERT_TRUE(host.Show());
    for (TOpenGLPrintScale scale : {pglNone, pglPrintToFit, pglProportional}) {
        host.panel->SetOpenGLPrintScale(scale);
        QPrinter printer;
        printer.setOutputFormat(QPrinter::PdfFormat);
        const QString file = dir.filePath(QStringLiteral("mode%1.pdf").arg(int(scale)));
        printer.setOutputFileName(file);
        host.panel->PrinTOpenGLVexPanel(printer);
        const QByteArray pdf = ReadAll(file);
        EXPECT_TRUE(pdf.startsWith("%PDF")) << int(scale);
        EXPECT_EQ(PdfPageCount(pdf), 1) << int(scale);
    }
    EXPECT_EQ(host.errors, 0);
}

TEST(PanelPrintTest, ZeroPixelsPerInchIsStoredAs96) {
    QTemporaryDir dir;
    PrintHost host;
    host.ClearTo(0, 0, 0);
    ASSERT_TRUE(host.Show());
    host.panel->SetOpenGLPixelsPerInch(0);
    QPrinter printer;
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(dir.filePath(QStringLiteral("ppi.pdf")));
    host.panel->PrinTOpenGLVexPanel(printer);
    EXPECT_EQ(host.panel->PixelsPerInch(), 96);
}

TEST(PanelPrintTest, NoImageBuffersIsReported) {
    QTemporaryDir dir;
    PrintHost host;
    host.ClearTo(0, 0, 0);
    ASSERT_TRUE(host.Show());
    // A panel of no size has no image to hand to the printer.
    host.panel->resize(0, 0);
    QString seen;
    host.panel->OnError = [&](TOpenGLVexPanel* s) {
        ++host.errors;
        seen = s->ErrorText();
    };
    QPrinter printer;
    printer.setOutputFormat(QPrinter::PdfFormat);
    const QString file = dir.filePath(QStringLiteral("none.pdf"));
    printer.setOutputFileName(file);
    host.panel->PrinTOpenGLVexPanel(printer);
    EXPECT_EQ(host.errors, 1);
    EXPECT_EQ(seen, QStringLiteral("Print: Malloc Error"));
    EXPECT_EQ(host.panel->ErrorText(), QStringLiteral("Print: Malloc Error"));
    EXPECT_FALSE(QFile::exists(file));  // nothing printed
}

TEST(PanelSaveTest, SavedBitmapHoldsTheFrame) {
    QTemporaryDir dir;
    PrintHost host;
    host.ClearTo(200, 40, 10);
    ASSERT_TRUE(host.Show());
    const std::string file = dir.filePath(QStringLiteral("frame.bmp")).toStdString();
    host.panel->SaveOpenGLPanelToFile(file);
    const QByteArray bytes = ReadAll(QString::fromStdString(file));
    EXPECT_TRUE(bytes.startsWith("BM"));
    QImage img;
    ASSERT_TRUE(img.load(QString::fromStdString(file), "BMP"));
    EXPECT_EQ(img.size(), QSize(96, 64));
    EXPECT_TRUE(Near(img.pixelColor(0, 0), 200, 40, 10));
    EXPECT_TRUE(Near(img.pixelColor(48, 32), 200, 40, 10));
    EXPECT_TRUE(Near(img.pixelColor(95, 63), 200, 40, 10));

    // A fresh frame every time.
    host.ClearTo(0, 0, 255);
    host.panel->SaveOpenGLPanelToFile(dir.filePath(QStringLiteral("frame2.bmp")));
    ASSERT_TRUE(img.load(dir.filePath(QStringLiteral("frame2.bmp")), "BMP"));
    EXPECT_TRUE(Near(img.pixelColor(10, 10), 0, 0, 255));
    EXPECT_EQ(host.errors, 0);
}

TEST(PanelSaveTest, UnwritableFileThrowsAndLeavesTheErrorText) {
    QTemporaryDir dir;
    PrintHost host;
    host.ClearTo(1, 2, 3);
    ASSERT_TRUE(host.Show());
    const std::string file = dir.filePath(QStringLiteral("no/such/folder/x.bmp")).toStdString();
    try {
        host.panel->SaveOpenGLPanelToFile(file);
        ADD_FAILURE() << "no exception";
    } catch (const std::runtime_error& e) {
        EXPECT_EQ(std::string(e.what()), "Cannot create file " + file);
    }
    EXPECT_TRUE(host.panel->ErrorText().isEmpty());
    EXPECT_EQ(host.errors, 0);
}

// A target that fills up part-way is a failed save, never a success; the
// colours saved are those shown, whatever GL alpha the frame holds; the file
// is a 24-bit bitmap with the 40-byte header, its rows bottom up, each padded
// to 4 bytes.
TEST(PanelSaveTest, FullTargetFailsColoursAreAsShownAndTheBitmapIsTheUsualOne) {
    QTemporaryDir dir;
    PrintHost host;
    host.window->resize(3, 2);
    host.panel->setGeometry(0, 0, 3, 2);
    host.ClearTo(102, 51, 26, 0.5f);
    ASSERT_TRUE(host.Show());
    try {
        host.panel->SaveOpenGLPanelToFile(std::string("/dev/full"));
        ADD_FAILURE() << "a full device reported as saved";
    } catch (const std::runtime_error& e) {
        EXPECT_EQ(std::string(e.what()), "Stream write error");
    }
    const QString file = dir.filePath(QStringLiteral("half.bmp"));
    host.panel->SaveOpenGLPanelToFile(file);
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList{QStringLiteral("half.bmp")});  // no temporary left
    const QByteArray b = ReadAll(file);
    const auto u32 = [&b](int at) { return qFromLittleEndian<quint32>(b.constData() + at); };
    const auto u16 = [&b](int at) { return qFromLittleEndian<quint16>(b.constData() + at); };
    ASSERT_EQ(b.size(), 54 + 2 * 12);  // 3 pixels of 3 bytes, padded to 12, two rows
    EXPECT_EQ(b.left(2), QByteArray("BM"));
    EXPECT_EQ(u32(2), 78u);   // file size
    EXPECT_EQ(u32(10), 54u);  // the pixels' offset
    EXPECT_EQ(u32(14), 40u);  // header size
    EXPECT_EQ(u32(18), 3u);
    EXPECT_EQ(static_cast<qint32>(u32(22)), 2);  // positive: bottom up
    EXPECT_EQ(u16(26), 1u);
    EXPECT_EQ(u16(28), 24u);
    EXPECT_EQ(u32(30), 0u);  // no compression
    // the shown colour, blue, green, red in the file, not un-premultiplied
    for (int at : {54, 57, 60, 66}) {
        EXPECT_NEAR(static_cast<uint8_t>(b[at]), 26, 2) << at;
        EXPECT_NEAR(static_cast<uint8_t>(b[at + 1]), 51, 2) << at;
        EXPECT_NEAR(static_cast<uint8_t>(b[at + 2]), 102, 2) << at;
    }
    EXPECT_EQ(b.mid(63, 3), QByteArray(3, '\0'));  // the row's padding
}

// ---------------------------------------------------------------------------
// Display settings

TEST(DisplayTest, DepthIsTheScreens) {
    ASSERT_NE(QGuiApplication::primaryScreen(), nullptr);
    EXPECT_EQ(TOpenGLVexPanel::GetDisplayBPP(), QGuiApplication::primaryScreen()->depth());
    // The tests run on a 24-bit X screen (xvfb-run -s "-screen 0 1280x1024x24").
    if (QGuiApplication::platformName() == QLatin1String("xcb")) {
        EXPECT_EQ(TOpenGLVexPanel::GetDisplayBPP(), 24);
    }
}

TEST(DisplayTest, DepthCannotBeChanged) {
    const int before = TOpenGLVexPanel::GetDisplayBPP();
    EXPECT_FALSE(TOpenGLVexPanel::SetDisplayBPP(8));
    EXPECT_FALSE(TOpenGLVexPanel::SetDisplayBPP(16));
    EXPECT_FALSE(TOpenGLVexPanel::SetDisplayBPP(before));
    EXPECT_FALSE(TOpenGLVexPanel::SetDisplayBPP(3));
    EXPECT_EQ(TOpenGLVexPanel::GetDisplayBPP(), before);
}

TEST(DisplayTest, ExtensionQueryAgainstTheContextsList) {
    PrintHost host;
    ASSERT_TRUE(host.Show());
    host.panel->makeCurrent();
    ASSERT_EQ(QOpenGLContext::currentContext(), host.panel->context());
    const GLubyte* raw = QOpenGLContext::currentContext()->functions()->glGetString(GL_EXTENSIONS);
    ASSERT_NE(raw, nullptr) << "compatibility profile expected";
    const std::string list(reinterpret_cast<const char*>(raw));
    const std::string first = list.substr(0, list.find(' '));
    ASSERT_GT(first.size(), 3u);

    EXPECT_TRUE(TOpenGLVexPanel::QueryOpenGLExtention(first));
    EXPECT_FALSE(TOpenGLVexPanel::QueryOpenGLExtention(first.substr(0, first.size() - 1)));
    std::string changed = first;
    for (char& c : changed) {
        if (c >= 'a' && c <= 'z')
            c = char(c - 'a' + 'A');
        else if (c >= 'A' && c <= 'Z')
            c = char(c - 'A' + 'a');
    }
    ASSERT_NE(changed, first);
    EXPECT_FALSE(TOpenGLVexPanel::QueryOpenGLExtention(changed));
    EXPECT_FALSE(TOpenGLVexPanel::QueryOpenGLExtention(first + "X"));
    EXPECT_FALSE(TOpenGLVexPanel::QueryOpenGLExtention(""));
    EXPECT_TRUE(host.panel->QueryOpenGLExtention(first));

    // Every entry of the list is found.
    std::size_t pos = 0;
    int checked = 0;
    while (pos < list.size()) {
        const std::size_t end = std::min(list.find(' ', pos), list.size());
        if (end > pos) {
            EXPECT_TRUE(TOpenGLVexPanel::QueryOpenGLExtention(list.substr(pos, end - pos)));
            ++checked;
        }
        pos = end + 1;
    }
    EXPECT_GT(checked, 1);

    host.panel->doneCurrent();
    ASSERT_EQ(QOpenGLContext::currentContext(), nullptr);
    EXPECT_FALSE(TOpenGLVexPanel::QueryOpenGLExtention(first));
}
