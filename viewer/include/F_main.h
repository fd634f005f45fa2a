// The main window: the file browser on the left, the LOD information in the
// middle, the OpenGL view on the right, and the state that the parts of the
// viewer share (the model on show, the editor's path, the ground texture).
//
// Every control keeps its name as its objectName; every event of the window
// and its controls goes to one handler below.
#pragma once

#include "F_pickdir.h"
#include "OpenGLVexPanel.h"
#include "P3dmodell.h"
#include "Prompt.h"
#include "Scene.h"
#include "TextureData.h"

#include <QMainWindow>
#include <QMap>
#include <QMetaType>
#include <QPoint>
#include <QSize>
#include <QString>
#include <QStringList>

#include <qopengl.h>

#include <array>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

class QCheckBox;
class QCloseEvent;
class QGroupBox;
class QLabel;
class QListWidgetItem;
class QMimeData;
class QPlainTextEdit;
class QPushButton;
class QSlider;
class QSplitter;
class QTableWidget;
class QTimer;

Q_DECLARE_METATYPE(vistrel::TP3dLOD*)
Q_DECLARE_METATYPE(vistrel::TRealSelection*)

namespace vistrel {

class TDirectoryList;
class TDriveComboBox;
class TFileList;
class TListBox;

class TMain : public QMainWindow {
    Q_OBJECT
public:
    // The prompt is not owned; without one the window shows real dialogs.
    explicit TMain(TPrompt* prompt = nullptr, QWidget* parent = nullptr);
    ~TMain() override;

    // ---- Controls --------------------------------------------------------
    // left column
    TDriveComboBox* Drive;
    TDirectoryList* LB_Directory;
    TFileList* Files;
    // middle column
    TListBox* LB_LODs;
    QLabel* L_Vertexes;
    QLabel* L_Unique;
    QLabel* L_Faces;
    QLabel* L_Textures;
    QLabel* L_MinPos;
    QLabel* L_MaxPos;
    TListBox* LB_Selections;
    QLabel* L_LWH;
    QLabel* L_Start;
    QLabel* L_End;
    QTableWidget* LB_Properties;
    QGroupBox* GB_Light;
    QSlider* TB_X;
    QSlider* TB_Y;
    QSlider* TB_Z;
    QCheckBox* CB_Transparent;
    QSlider* TB_Transparency;
    QCheckBox* CB_Vertexes;
    QCheckBox* CB_Ground;
    QCheckBox* CB_Axis;
    QPushButton* B_PickGroundText;
    QPushButton* B_PickDataDir;
    QPushButton* B_Save;
    QLabel* L_Mass;
    QCheckBox* CB_Debug;
    // right area
    TOpenGLVexPanel* OpenGl;
    QPlainTextEdit* DebugMemo;
    // floating over the window
    QLabel* P_Wait;
    // non-visual
    QTimer* InitTimer;
    TFileDialogSettings OpenGroundTexture;
    TFileDialogSettings SaveMLOD;
    TFileDialogSettings OpenOxygen;

    // ---- Shared state ----------------------------------------------------
    std::unique_ptr<TP3dModell> Model;  // the model on show, or none
    QString O2Path;                     // the external editor's executable
    QString GroundTexture;              // the ground texture file

    // Entries of LB_LODs and LB_Selections carry the LOD or selection they
    // name in this role, as a non-owning pointer into Model.
    static constexpr int ObjectRole = Qt::UserRole;
    static TP3dLOD* LodOf(const QListWidgetItem* item);
    static TRealSelection* SelectionOf(const QListWidgetItem* item);
    void AddLodEntry(const QString& text, TP3dLOD* lod);
    void AddSelectionEntry(const QString& text, TRealSelection* selection);
    // What the selected entries carry; nullptr when nothing is selected.
    TP3dLOD* SelectedLod() const;
    TRealSelection* SelectedSelection() const;
    // Empties the lists that point into the model, then releases it; the
    // window then shows no model (ShowNoModel).
    void ReleaseModel();
    // The information labels as at start, the lists empty, the caption
    // without a file name.
    void ShowNoModel();
    // Empties LB_Selections; the extent strip shows "-" for no selection.
    void ClearSelections();

    // Where every box and dialog of the window goes. The wait panel comes
    // down first: a box of a load is never shown over it.
    TPrompt& Prompt() const;
    // The folder the file browser has open (entered), and entering one.
    QString CurrentDirectory() const;
    bool SetDirectory(const QString& directory);
    // Full path of the file selected in Files; empty when none.
    QString SelectedFile() const;
    // Paints the view at once.
    void Repaint();
    // Appends one line to DebugMemo (the target of the debug log).
    void AppendDebugLine(const QString& line);

    // Where P_Wait goes in a window of the given outer size.
    static QPoint WaitPanelPosition(QSize windowSize);
    static constexpr int WaitPanelWidth = 193;
    static constexpr int WaitPanelHeight = 57;
    // The extension of a file name from its last point on (point included),
    // empty when there is none.
    static QString FileExtension(const QString& fileName);

    // ---- Loading a chosen file (Loading.cpp) ------------------------------
    // Starts a program with arguments in a working directory, detached; true
    // when it started. StartDetached (QProcess) unless replaced: tests record
    // the editor's launch through it.
    using TLauncher =
        std::function<bool(const QString& program, const QStringList& arguments, const QString& workingDirectory)>;
    static bool StartDetached(const QString& program, const QStringList& arguments, const QString& workingDirectory);
    TLauncher Launcher = &TMain::StartDetached;
    // One entry in LB_LODs per LOD of Model, named from its resolution.
    void FillLodList();
    // The reading part of the load, for a file of either format: the model
    // read (the wait panel up meanwhile), its LODs listed, the camera
    // fitted, LOD 0 shown, the caption set. LoadModel calls it for a
    // binarized file (an editable one goes to the editor instead).
    void ShowModel(const QString& fileName, TLogEvent onLog = {});

    // ---- Scene and camera (Scene.cpp) ------------------------------------
    bool Dragging = false;  // a mouse button went down on the view
    int LastMouseX = 0;     // view pixels of the last press or handled move
    int LastMouseY = 0;
    float PanX = 0;  // scene translation, GL units
    float PanY = 0;
    float Distance = 0;  // negative: the scene is in front of the eye
    float RotX = 0;      // degrees; applied about x, then z, then y
    float RotY = 0;
    float RotZ = 0;
    // The scene light, in the scene's rotated frame; w stays 1 (positional).
    std::array<float, 4> LightPosition = InitialLightPosition;
    // Faces and vertex markers go out as vertex-array batches; false draws
    // them one glBegin/glEnd at a time (same picture, slower).
    bool BatchedDrawing = true;
    // The expanded arrays of the LOD on show; emptied with the model.
    TLodDrawCache DrawCache;
    // The keys of the view: back faces drawn (in the colour of their fronts), the wire
    // of the faces' edges over them; both off at start.
    bool BackFaces = false;
    bool WireOverlay = false;
    // How near and far the wheel and the keys may bring the model on show.
    TZoomLimits ZoomRange;
    // The keys of the view, shown by "?" or F1 until the next key or click.
    QLabel* KeysOverlay = nullptr;
    static QString KeysText();
    // Frames the loaded model (its LOD 0) as loading does; does not repaint.
    void FitCameraToModel();
    TCamera Camera() const;
    void SetCamera(const TCamera& camera);

    // ---- Textures of the LOD on show and of the ground (Textures.cpp) -----
    // One index space: the index of the name in the LOD's Textures. Every
    // index below LodTextureCount was attempted; a GL name of 0 means none.
    std::vector<GLuint> LodTextureNames;
    std::vector<TextureData*> LodTextureData;
    int LodTextureCount = 0;
    GLuint GroundTextureName = 0;
    bool GroundShownAlone = false;  // the ground texture is the view's picture while no model is loaded
    TextureData* GroundTextureData = nullptr;
    // Releases the previous LOD's textures and loads this LOD's (the panel's
    // context must be current).
    void LoadLodTextures(TP3dLOD* lod);
    void LoadLodTexture(const std::string& name, int index);
    void ReleaseLodTextures();
    void LoadGroundTexture(const QString& path);
    static void SwapRedBlue(TextureData& record);
    // Where the LOD's texture names are looked up: the texture root, or
    // beside the model when none is set.
    std::vector<std::string> LodTextureRoots() const;
    // The missing and undecodable files of one LOD selection as the text of
    // one message: a line each, the first 30 and then how many more.
    static QString TextureProblemsText(const QStringList& problems);
    // The GL texture bound for a polygon's texture index; 0 for none.
    GLuint LodTexture(int textureIndex) const;
    // Deletes the records of the LOD tables and empties them, GL names
    // untouched (ReleaseLodTextures deletes those first).
    void ReleaseTextureRecords();
    // Frees every decoded image when the window goes; the GL textures go
    // with the panel's context. Declared after the tables, so it runs while
    // they still exist.
    struct TTextureRecordsRelease {
        TMain* owner;
        ~TTextureRecordsRelease();
    };
    TTextureRecordsRelease TextureRecordsRelease{this};

    // ---- Start-up, settings, saving (Lifecycle.cpp) -----------------------
    // Arguments of the command line that name files (the first one is
    // opened at start-up).
    QStringList CommandLineFiles;
    // A texture root given on the command line: used for this run instead of
    // the saved one, which is written back at the close unless the user
    // picked another root meanwhile.
    QString DataPathOverride;
    QString SavedDataPath;  // the root the settings file had (or the first-run prompt gave)
    // Where the settings are read and written; empty: "Setting.def" beside
    // the executable, or in the user's configuration folder.
    QString SettingsFileOverride;
    QString SettingsPath() const;
    // Kept in the settings beside the window's bounds: the file column's
    // width, and the size of the directory picker (the program's PickDir
    // takes it at start-up and gives the user's back at the close).
    int FileColumnWidth() const;
    // The view gives or takes the difference; no column gets narrower than
    // its least width.
    void SetFileColumnWidth(int width);
    QSize PickDirSize = TPickDir::OpeningSize;
    // The save dialog's proposal: the file's name without its extension,
    // followed by "_MLOD.p3d".
    static QString ProposedMlodName(const QString& fileName);

    // ---- Handlers --------------------------------------------------------
    void FormCreate();
    void FormDestroy();
    void FormResize();
    void FormClose(QCloseEvent* event);
    void WMDropFiles(const QMimeData* data);
    void FilesChange();
    void LB_LODsClick();
    void CB_VertexesClick();
    void TB_XChange();
    void TB_TransparencyChange();
    void OpenGlInit(TOpenGLVexPanel* sender);
    void OpenGlResize(TOpenGLVexPanel* sender);
    void OpenGlPaint(TOpenGLVexPanel* sender);
    // What a frame of the view shows now, from the controls and the state.
    TFrame CurrentFrame();
    void OpenGlMouseDown(TOpenGLVexPanel* sender, Qt::MouseButton button, TOpenGLVexPanel::TShiftState shift, int x,
                         int y);
    void OpenGlMouseMove(TOpenGLVexPanel* sender, Qt::MouseButton button, TOpenGLVexPanel::TShiftState shift, int x,
                         int y);
    void OpenGlMouseUp(TOpenGLVexPanel* sender, Qt::MouseButton button, TOpenGLVexPanel::TShiftState shift, int x,
                       int y);
    void OpenGlMouseWheel(TOpenGLVexPanel* sender, double notches, TOpenGLVexPanel::TShiftState shift);
    bool OpenGlKeyDown(TOpenGLVexPanel* sender, int key, const QString& text, TOpenGLVexPanel::TShiftState shift);
    void OpenGlDoubleClick(TOpenGLVexPanel* sender);
    // The file dialogs open, when they have no folder of their own, in the
    // folder they last confirmed in this run, else the shown model's.
    QString OpenFileWhereTheUserWas(const TFileDialogSettings& dialog);
    QString SaveFileWhereTheUserWas(const TFileDialogSettings& dialog);
    TFileDialogSettings WhereTheUserWas(const TFileDialogSettings& dialog) const;
    void RememberWhere(const TFileDialogSettings& dialog, const QString& chosen);
    QMap<QString, QString> DialogFolders;  // the last folder each dialog (by name) confirmed
    // The LOD on show loads its textures again (a new texture root).
    void ReloadShownTextures();
    void B_PickGroundTextClick();
    void B_PickDataDirClick();
    void B_SaveClick();
    void InitTimerTimer();

    // Opens a chosen model file (from the file list, a drop or the command
    // line). Virtual so that tests can watch who calls it. A load lets
    // pending events through (the wait panel is painted, the reader's
    // messages are modal), user input excepted: should a pick still arrive
    // meanwhile, it is not loaded inside it, but once it ends, and only the
    // newest such pick.
    virtual void LoadModel(const QString& fileName, bool fromCommandLine);

protected:
    void showEvent(QShowEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    QWidget* BuildLeftColumn();
    QWidget* BuildMiddleColumn();
    QWidget* BuildCountsPanel();
    QWidget* BuildSelectionsPanel();
    QWidget* BuildBottomPanel();
    QWidget* BuildRightArea();
    void BuildWaitPanel();
    void SetUpDialogs();
    void WireEvents();
    static bool AcceptsDrop(const QMimeData* data);
    // Runs a handler; an error that leaves it ends only that handler and is
    // shown in the error box.
    void Guarded(const std::function<void()>& handler);

    // One load, start to end (LoadModel without the waiting of picks).
    void LoadOne(const QString& fileName, bool fromCommandLine);
    // Loads the pick that waited for the last load, if it is still the
    // newest one.
    void LoadPendingPick();
    bool loading_ = false;
    std::optional<std::pair<QString, bool>> pendingPick_;

    std::unique_ptr<TPrompt> ownPrompt_;
    TPrompt* prompt_;
    QSplitter* columns_ = nullptr;
    bool shownOnce_ = false;
};

}  // namespace vistrel
