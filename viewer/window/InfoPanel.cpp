// The middle column: the chosen LOD's counts, extent, selections and
// properties, and the extent of the chosen selection.
#include "F_main.h"

#include "ListBox.h"
#include "NumberFormat.h"

#include <QLabel>
#include <QTableWidget>
#include <QTableWidgetItem>

namespace vistrel {

namespace {

QString Triple(float x, float y, float z) { return QString::fromLatin1(FormatTriple(x, y, z)); }

QString Triple(const TVec3& v) { return Triple(v.X, v.Y, v.Z); }

QTableWidgetItem* ReadOnlyCell(const QString& text) {
    auto* cell = new QTableWidgetItem(text);
    cell->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
    cell->setToolTip(text);  // the whole text where the column cuts it
    return cell;
}

}  // namespace

void TMain::LB_LODsClick() {
    if (LB_LODs->ItemIndex() < 0) return;
    ClearSelections();
    TP3dLOD* lod = SelectedLod();
    if (!lod) {
        Prompt().Message(QStringLiteral("Internal Error! No LOD found!"));
        return;
    }

    LoadLodTextures(lod);

    for (TRealSelection* selection : lod->Selections)
        AddSelectionEntry(QString::fromLatin1(selection->Name), selection);

    // "name= value" splits at its first "="; the value keeps its blank.
    LB_Properties->setRowCount(0);
    LB_Properties->setRowCount(static_cast<int>(lod->Properties.size()));
    int row = 0;
    for (const std::string& property : lod->Properties) {
        const auto [nameText, valueText] = SplitProperty(property, true);
        const QString name = QString::fromLatin1(nameText);
        const QString value = QString::fromLatin1(valueText);
        LB_Properties->setItem(row, 0, ReadOnlyCell(name));
        LB_Properties->setItem(row, 1, ReadOnlyCell(value));
        ++row;
    }

    L_Vertexes->setText(QString::number(lod->Vertexes.Count()));
    L_Unique->setText(QString::number(lod->UniqueVertexes.Count));
    L_Faces->setText(QString::number(lod->Polygons.Count()));
    L_Textures->setText(QString::number(lod->Textures.size()));
    L_Mass->setText(QString::fromLatin1(FormatFloat("0.###", Model ? Model->Mass : 0.0f)));
    L_MinPos->setText(Triple(lod->MinPos));
    L_MaxPos->setText(Triple(lod->MaxPos));
    Repaint();
}

void TMain::CB_VertexesClick() {
    if (const TRealSelection* selection = SelectedSelection()) {
        TVec3 start, end;
        if (SelectionExtent(*selection, start, end)) {
            L_Start->setText(Triple(start));
            L_End->setText(Triple(end));
            L_LWH->setText(Triple(end.X - start.X, end.Y - start.Y, end.Z - start.Z));
        } else {
            // No vertices: no extent.
            const QString none = QStringLiteral("-");
            L_Start->setText(none);
            L_End->setText(none);
            L_LWH->setText(none);
        }
    }
    Repaint();
}

}  // namespace vistrel
