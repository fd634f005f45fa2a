// The main window's layout: the widgets, their names, sizes and places, as
// the form was designed. What they do is in F_main.cpp and the files beside it.
#include "F_main.h"

#include "DirectoryList.h"
#include "FileList.h"
#include "Globals.h"
#include "ListBox.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QDir>
#include <QDragEnterEvent>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QSlider>
#include <QSplitter>
#include <QTableWidget>
#include <QTimer>
#include <QUrl>
#include <QVBoxLayout>

#include <GL/gl.h>

#include <exception>

namespace vistrel {

namespace {

// Designed sizes of the window and its regions, in pixels.
constexpr int kWindowWidth = 819;
constexpr int kWindowHeight = 725;
constexpr int kLeftColumnWidth = 134;
constexpr int kMiddleColumnWidth = 232;
constexpr int kDirectoryHeight = 291;
constexpr int kLodListHeight = 223;
constexpr int kCountsHeight = 57;
constexpr int kSelectionsHeight = 181;
constexpr int kExtentStripHeight = 43;
constexpr int kPropertiesMinHeight = 60;
constexpr int kBottomHeight = 163;
constexpr int kBottomMinHeight = 144;
constexpr int kBottomMinWidth = 230;
constexpr int kDebugMemoHeight = 209;

QLabel* MakeCaption(const QString& text, const QString& name, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setObjectName(name);
    return label;
}

// A value label: reads "0" until it is set, and never widens its column; a
// text too long for the room is cut at the right.
QLabel* MakeValue(const QString& name, QWidget* parent) {
    auto* label = new QLabel(QStringLiteral("0"), parent);
    label->setObjectName(name);
    label->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    return label;
}

QSlider* MakeTrackBar(const QString& name, int min, int max, int tick, int position, QWidget* parent) {
    auto* bar = new QSlider(Qt::Horizontal, parent);
    bar->setObjectName(name);
    bar->setRange(min, max);
    bar->setSingleStep(1);
    bar->setPageStep(1);
    bar->setTickInterval(tick);
    bar->setTickPosition(QSlider::TicksBelow);
    bar->setValue(position);
    return bar;
}

QCheckBox* MakeCheckBox(const QString& text, const QString& name, QWidget* parent) {
    auto* box = new QCheckBox(text, parent);
    box->setObjectName(name);
    box->setChecked(false);
    return box;
}

QPushButton* MakeButton(const QString& text, const QString& name, QWidget* parent) {
    auto* button = new QPushButton(text, parent);
    button->setObjectName(name);
    button->setAutoDefault(false);
    // Three buttons share the 230 pixels of the bottom panel.
    button->setMinimumWidth(64);
    button->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    return button;
}

QSplitter* MakeSplitter(Qt::Orientation orientation, int handleWidth, const QString& name, QWidget* parent) {
    auto* splitter = new QSplitter(orientation, parent);
    splitter->setObjectName(name);
    splitter->setHandleWidth(handleWidth);
    splitter->setChildrenCollapsible(false);
    splitter->setOpaqueResize(true);
    return splitter;
}

}  // namespace

// ============================================================== construction

TMain::TMain(TPrompt* prompt, QWidget* parent) : QMainWindow(parent) {
    if (!prompt) {
        ownPrompt_ = std::make_unique<TDialogPrompt>(this);
        prompt = ownPrompt_.get();
    }
    prompt_ = prompt;

    setObjectName(QStringLiteral("Main"));
    setWindowTitle(QStringLiteral("Vistrel v1.2"));
    // The layout's sizes are made for a font 11 pixels high.
    QFont windowFont = font();
    windowFont.setPixelSize(11);
    setFont(windowFont);

    columns_ = MakeSplitter(Qt::Horizontal, 3, QStringLiteral("Splitter_Columns"), this);
    columns_->addWidget(BuildLeftColumn());
    columns_->addWidget(BuildMiddleColumn());
    columns_->addWidget(BuildRightArea());
    columns_->setStretchFactor(0, 0);
    columns_->setStretchFactor(1, 0);
    columns_->setStretchFactor(2, 1);
    columns_->setSizes(
        {kLeftColumnWidth, kMiddleColumnWidth, kWindowWidth - kLeftColumnWidth - kMiddleColumnWidth - 6});
    setCentralWidget(columns_);

    BuildWaitPanel();
    SetUpDialogs();

    InitTimer = new QTimer(this);
    InitTimer->setObjectName(QStringLiteral("InitTimer"));
    InitTimer->setSingleShot(true);
    InitTimer->setInterval(200);

    // The browser opens in the working directory; the start-up step may move it.
    Drive->SetDirList(LB_Directory);
    LB_Directory->SetFileList(Files);

    WireEvents();
    resize(kWindowWidth, kWindowHeight);
    FormCreate();
}

int TMain::FileColumnWidth() const { return columns_->sizes().value(0); }

void TMain::SetFileColumnWidth(int width) {
    QList<int> sizes = columns_->sizes();
    if (sizes.size() != 3) return;
    // Sizes that add up to the splitter's own are taken as they are (others
    // would be shared out in proportion).
    const int total = sizes[0] + sizes[1] + sizes[2];
    const int most = qMax(columns_->widget(0)->minimumWidth(), total - sizes[1] - columns_->widget(2)->minimumWidth());
    sizes[0] = qBound(columns_->widget(0)->minimumWidth(), width, most);
    sizes[2] = qMax(0, total - sizes[0] - sizes[1]);
    columns_->setSizes(sizes);
}

QWidget* TMain::BuildLeftColumn() {
    auto* column = new QWidget(this);
    column->setObjectName(QStringLiteral("P_Left"));
    auto* layout = new QVBoxLayout(column);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    Drive = new TDriveComboBox(column);
    Drive->setObjectName(QStringLiteral("Drive"));
    Drive->setMinimumWidth(40);
    Drive->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    layout->addWidget(Drive);

    auto* splitter = MakeSplitter(Qt::Vertical, 5, QStringLiteral("Splitter_Left"), column);
    LB_Directory = new TDirectoryList(splitter);
    LB_Directory->setObjectName(QStringLiteral("LB_Directory"));
    LB_Directory->setMinimumSize(40, 40);
    Files = new TFileList(splitter);
    Files->setObjectName(QStringLiteral("Files"));
    Files->SetMask(QStringLiteral("*.p3d"));
    Files->setMinimumSize(40, 40);
    splitter->addWidget(LB_Directory);
    splitter->addWidget(Files);
    splitter->setStretchFactor(0, 0);
    splitter->setStretchFactor(1, 1);
    splitter->setSizes({kDirectoryHeight, kWindowHeight - kDirectoryHeight});
    layout->addWidget(splitter, 1);

    column->setMinimumWidth(60);
    return column;
}

QWidget* TMain::BuildMiddleColumn() {
    auto* column = new QWidget(this);
    column->setObjectName(QStringLiteral("P_Middle"));
    auto* layout = new QVBoxLayout(column);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    // The LOD list with its counts, the selections, the properties: the two
    // splitters between them move.
    auto* splitter = MakeSplitter(Qt::Vertical, 4, QStringLiteral("Splitter_Middle"), column);

    auto* top = new QWidget(splitter);
    top->setObjectName(QStringLiteral("P_LODs"));
    auto* topLayout = new QVBoxLayout(top);
    topLayout->setContentsMargins(0, 0, 0, 0);
    topLayout->setSpacing(0);
    LB_LODs = new TListBox(top);
    LB_LODs->setObjectName(QStringLiteral("LB_LODs"));
    LB_LODs->setMinimumHeight(30);
    topLayout->addWidget(LB_LODs, 1);
    topLayout->addWidget(BuildCountsPanel());

    splitter->addWidget(top);
    splitter->addWidget(BuildSelectionsPanel());

    LB_Properties = new QTableWidget(0, 2, splitter);
    LB_Properties->setObjectName(QStringLiteral("LB_Properties"));
    LB_Properties->setHorizontalHeaderLabels({QStringLiteral("Property"), QStringLiteral("Value")});
    LB_Properties->setColumnWidth(0, 115);
    LB_Properties->setColumnWidth(1, 109);
    LB_Properties->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    LB_Properties->horizontalHeader()->setStretchLastSection(false);
    LB_Properties->horizontalHeader()->setHighlightSections(false);
    LB_Properties->verticalHeader()->setVisible(false);
    LB_Properties->verticalHeader()->setDefaultSectionSize(LB_Properties->fontMetrics().height() + 4);
    LB_Properties->setShowGrid(true);
    LB_Properties->setEditTriggers(QAbstractItemView::NoEditTriggers);
    LB_Properties->setSelectionMode(QAbstractItemView::SingleSelection);
    LB_Properties->setMinimumHeight(kPropertiesMinHeight);
    splitter->addWidget(LB_Properties);

    splitter->setStretchFactor(0, 0);
    splitter->setStretchFactor(1, 0);
    splitter->setStretchFactor(2, 1);
    splitter->setSizes({kLodListHeight + kCountsHeight, kSelectionsHeight, kPropertiesMinHeight});
    layout->addWidget(splitter, 1);
    layout->addWidget(BuildBottomPanel());

    column->setMinimumWidth(kBottomMinWidth);
    return column;
}

QWidget* TMain::BuildCountsPanel() {
    auto* panel = new QFrame(this);
    panel->setObjectName(QStringLiteral("P_Counts"));
    panel->setMinimumHeight(kCountsHeight);
    panel->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    auto* grid = new QGridLayout(panel);
    grid->setContentsMargins(4, 1, 4, 1);
    grid->setHorizontalSpacing(4);
    grid->setVerticalSpacing(0);

    L_Vertexes = MakeValue(QStringLiteral("L_Vertexes"), panel);
    L_Unique = MakeValue(QStringLiteral("L_Unique"), panel);
    L_Faces = MakeValue(QStringLiteral("L_Faces"), panel);
    L_Textures = MakeValue(QStringLiteral("L_Textures"), panel);
    L_MinPos = MakeValue(QStringLiteral("L_MinPos"), panel);
    L_MaxPos = MakeValue(QStringLiteral("L_MaxPos"), panel);

    grid->addWidget(MakeCaption(QStringLiteral("Vertexes:"), QStringLiteral("Label_Vertexes"), panel), 0, 0);
    grid->addWidget(L_Vertexes, 0, 1);
    grid->addWidget(MakeCaption(QStringLiteral("Unique:"), QStringLiteral("Label_Unique"), panel), 0, 2);
    grid->addWidget(L_Unique, 0, 3);
    grid->addWidget(MakeCaption(QStringLiteral("Faces:"), QStringLiteral("Label_Faces"), panel), 1, 0);
    grid->addWidget(L_Faces, 1, 1);
    grid->addWidget(MakeCaption(QStringLiteral("Textures:"), QStringLiteral("Label_Textures"), panel), 1, 2);
    grid->addWidget(L_Textures, 1, 3);
    // The positions take the whole width: their captions are narrower than
    // the column above them.
    const struct {
        QLabel* value;
        const char* caption;
        const char* name;
    } positions[] = {{L_MinPos, "MinPos:", "Label_MinPos"}, {L_MaxPos, "MaxPos:", "Label_MaxPos"}};
    int row = 2;
    for (const auto& position : positions) {
        auto* line = new QHBoxLayout;
        line->setSpacing(4);
        line->addWidget(MakeCaption(QString::fromLatin1(position.caption), QString::fromLatin1(position.name), panel));
        line->addWidget(position.value, 1);
        grid->addLayout(line, row++, 0, 1, 4);
    }
    grid->setColumnStretch(1, 1);
    grid->setColumnStretch(3, 1);
    return panel;
}

QWidget* TMain::BuildSelectionsPanel() {
    auto* panel = new QWidget(this);
    panel->setObjectName(QStringLiteral("P_Selections"));
    auto* layout = new QVBoxLayout(panel);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    LB_Selections = new TListBox(panel);
    LB_Selections->setObjectName(QStringLiteral("LB_Selections"));
    LB_Selections->setMinimumHeight(30);
    layout->addWidget(LB_Selections, 1);

    auto* strip = new QFrame(panel);
    strip->setObjectName(QStringLiteral("P_Extent"));
    strip->setFrameShape(QFrame::StyledPanel);
    strip->setFrameShadow(QFrame::Sunken);
    strip->setMinimumHeight(kExtentStripHeight);
    strip->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    auto* grid = new QGridLayout(strip);
    grid->setContentsMargins(4, 1, 4, 1);
    grid->setHorizontalSpacing(6);
    grid->setVerticalSpacing(0);
    L_LWH = MakeValue(QStringLiteral("L_LWH"), strip);
    L_Start = MakeValue(QStringLiteral("L_Start"), strip);
    L_End = MakeValue(QStringLiteral("L_End"), strip);
    grid->addWidget(MakeCaption(QStringLiteral("L/W/H"), QStringLiteral("Label_LWH"), strip), 0, 0);
    grid->addWidget(L_LWH, 0, 1);
    grid->addWidget(MakeCaption(QStringLiteral("Start"), QStringLiteral("Label_Start"), strip), 1, 0);
    grid->addWidget(L_Start, 1, 1);
    grid->addWidget(MakeCaption(QStringLiteral("End"), QStringLiteral("Label_End"), strip), 2, 0);
    grid->addWidget(L_End, 2, 1);
    grid->setColumnStretch(1, 1);
    layout->addWidget(strip);
    return panel;
}

QWidget* TMain::BuildBottomPanel() {
    auto* panel = new QWidget(this);
    panel->setObjectName(QStringLiteral("P_Bottom"));
    panel->setMinimumSize(kBottomMinWidth, kBottomMinHeight);
    panel->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    auto* layout = new QVBoxLayout(panel);
    layout->setContentsMargins(2, 0, 2, 2);
    layout->setSpacing(1);

    // The light: one track bar per axis, its letter at the right end.
    GB_Light = new QGroupBox(QStringLiteral("Light"), panel);
    GB_Light->setObjectName(QStringLiteral("GB_Light"));
    auto* light = new QGridLayout(GB_Light);
    light->setContentsMargins(4, 0, 4, 0);
    light->setHorizontalSpacing(4);
    light->setVerticalSpacing(0);
    TB_X = MakeTrackBar(QStringLiteral("TB_X"), -800, 800, 100, 0, GB_Light);
    TB_Y = MakeTrackBar(QStringLiteral("TB_Y"), -800, 800, 100, 10, GB_Light);
    TB_Z = MakeTrackBar(QStringLiteral("TB_Z"), -800, 800, 100, 0, GB_Light);
    const struct {
        QSlider* bar;
        const char* text;
        const char* name;
    } axes[] = {{TB_X, "X", "Label_X"}, {TB_Y, "Y", "Label_Y"}, {TB_Z, "Z", "Label_Z"}};
    int row = 0;
    for (const auto& axis : axes) {
        light->addWidget(axis.bar, row, 0);
        // The letter sits level with the groove, which is at the top of the
        // bar; the ticks are below it.
        light->addWidget(MakeCaption(QString::fromLatin1(axis.text), QString::fromLatin1(axis.name), GB_Light), row, 1,
                         Qt::AlignTop);
        ++row;
    }
    light->setColumnStretch(0, 1);
    layout->addWidget(GB_Light);

    auto* transparency = new QHBoxLayout;
    transparency->setSpacing(4);
    CB_Transparent = MakeCheckBox(QStringLiteral("Transparent"), QStringLiteral("CB_Transparent"), panel);
    TB_Transparency = MakeTrackBar(QStringLiteral("TB_Transparency"), 0, 100, 5, 20, panel);
    transparency->addWidget(CB_Transparent);
    transparency->addWidget(TB_Transparency, 1);
    layout->addLayout(transparency);

    auto* views = new QHBoxLayout;
    views->setSpacing(4);
    CB_Vertexes = MakeCheckBox(QStringLiteral("Vertexes"), QStringLiteral("CB_Vertexes"), panel);
    CB_Ground = MakeCheckBox(QStringLiteral("Ground"), QStringLiteral("CB_Ground"), panel);
    CB_Axis = MakeCheckBox(QStringLiteral("Axis"), QStringLiteral("CB_Axis"), panel);
    views->addWidget(CB_Vertexes);
    views->addWidget(CB_Ground);
    views->addWidget(CB_Axis);
    views->addStretch(1);
    layout->addLayout(views);

    auto* buttons = new QHBoxLayout;
    buttons->setSpacing(3);
    B_PickGroundText = MakeButton(QStringLiteral("Ground Txt"), QStringLiteral("B_PickGroundText"), panel);
    B_PickDataDir = MakeButton(QStringLiteral("Data Dir"), QStringLiteral("B_PickDataDir"), panel);
    B_Save = MakeButton(QStringLiteral("Save MLOD"), QStringLiteral("B_Save"), panel);
    buttons->addWidget(B_PickGroundText);
    buttons->addWidget(B_PickDataDir);
    buttons->addWidget(B_Save);
    layout->addLayout(buttons);

    auto* mass = new QHBoxLayout;
    mass->setSpacing(4);
    mass->addWidget(MakeCaption(QStringLiteral("Complete Mass:"), QStringLiteral("Label_Mass"), panel));
    L_Mass = MakeValue(QStringLiteral("L_Mass"), panel);
    mass->addWidget(L_Mass, 1);
    CB_Debug = MakeCheckBox(QStringLiteral("Debug"), QStringLiteral("CB_Debug"), panel);
    CB_Debug->setVisible(false);
    mass->addWidget(CB_Debug);
    layout->addLayout(mass);
    layout->addStretch(1);

    panel->setFixedHeight(qMax(kBottomHeight, layout->sizeHint().height()));
    return panel;
}

QWidget* TMain::BuildRightArea() {
    auto* splitter = MakeSplitter(Qt::Vertical, 3, QStringLiteral("Splitter_Right"), this);
    OpenGl = new TOpenGLVexPanel(splitter);
    OpenGl->setObjectName(QStringLiteral("OpenGl"));
    OpenGl->SetPFDFlags({f_PFD_DRAW_TO_WINDOW, f_PFD_SUPPORT_OPENGL, f_PFD_DOUBLEBUFFER});
    OpenGl->SetPFDNumAccBits(0);
    QFont panelFont(QStringLiteral("Arial"));
    panelFont.setPixelSize(9);
    OpenGl->SetFont3DType(panelFont);
    OpenGl->SetFont2DType(panelFont);
    OpenGl->SetFont3D_MaxDeviation(1.0f);
    OpenGl->SetFont3D_Extrustion(0.1f);
    OpenGl->setMinimumSize(20, 20);
    OpenGl->setFocusPolicy(Qt::WheelFocus);  // a click or a wheel notch gives the view the keys
    KeysOverlay = new QLabel(KeysText(), OpenGl);
    KeysOverlay->setObjectName(QStringLiteral("KeysOverlay"));
    KeysOverlay->setStyleSheet(QStringLiteral("background: rgba(255, 255, 255, 220); color: black; padding: 6px;"));
    KeysOverlay->hide();

    DebugMemo = new QPlainTextEdit(splitter);
    DebugMemo->setObjectName(QStringLiteral("DebugMemo"));
    DebugMemo->setReadOnly(true);
    DebugMemo->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    DebugMemo->setLineWrapMode(QPlainTextEdit::NoWrap);
    DebugMemo->setVisible(false);

    splitter->addWidget(OpenGl);
    splitter->addWidget(DebugMemo);
    splitter->setStretchFactor(0, 1);
    splitter->setStretchFactor(1, 0);
    splitter->setSizes({kWindowHeight - kDebugMemoHeight, kDebugMemoHeight});
    return splitter;
}

void TMain::BuildWaitPanel() {
    // Floats over everything, centred by FormResize; shown while a model loads.
    P_Wait = new QLabel(QStringLiteral("Please Wait"), this);
    P_Wait->setObjectName(QStringLiteral("P_Wait"));
    P_Wait->setAlignment(Qt::AlignCenter);
    P_Wait->setFrameShape(QFrame::Panel);
    P_Wait->setFrameShadow(QFrame::Raised);
    P_Wait->setLineWidth(1);
    QFont font(QStringLiteral("Arial"));
    font.setPixelSize(16);
    P_Wait->setFont(font);
    QPalette palette = P_Wait->palette();
    const QPalette menu = QApplication::palette("QMenu");
    palette.setColor(QPalette::Window, menu.color(QPalette::Window));
    palette.setColor(QPalette::WindowText, menu.color(QPalette::WindowText));
    P_Wait->setPalette(palette);
    P_Wait->setAutoFillBackground(true);
    P_Wait->setFixedSize(WaitPanelWidth, WaitPanelHeight);
    P_Wait->setVisible(false);
    P_Wait->raise();
}

void TMain::SetUpDialogs() {
    OpenGroundTexture.Name = QStringLiteral("OpenGroundTexture");
    OpenGroundTexture.Filter = QtFilterFromPipe(QStringLiteral("Textures|*.pa*"));
    OpenGroundTexture.DefaultExt = QStringLiteral("*.pa*");

    SaveMLOD.Name = QStringLiteral("SaveMLOD");
    SaveMLOD.Filter = QtFilterFromPipe(QStringLiteral("MLOD Format|*.p3d"));
    SaveMLOD.DefaultExt = QStringLiteral("p3d");
    SaveMLOD.OverwritePrompt = true;
    SaveMLOD.HideReadOnly = true;

    OpenOxygen.Name = QStringLiteral("OpenOxygen");
#ifdef Q_OS_WIN
    OpenOxygen.Filter = QtFilterFromPipe(QStringLiteral("Executable|*.exe"));
#else
    // Programs have no extension here.
    OpenOxygen.Filter = QtFilterFromPipe(QStringLiteral("Executable|*"));
#endif
    OpenOxygen.HideReadOnly = true;
    OpenOxygen.PathMustExist = true;
    OpenOxygen.FileMustExist = true;
}

}  // namespace vistrel
