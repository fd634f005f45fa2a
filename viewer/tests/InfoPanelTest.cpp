// The middle column: what choosing a LOD and a selection shows.
#include "ListBox.h"
#include "ScriptedPrompt.h"
#include "TestSupport.h"
#include "ViewerModels.h"

#include <QCheckBox>
#include <QLabel>
#include <QTableWidget>
#include <QTimer>

#include <gtest/gtest.h>

using namespace vistrel;
using namespace vistrel::test;

namespace {

class InfoPanelTest : public ::testing::Test {
protected:
    void SetUp() override {
        window = std::make_unique<TMain>(&prompt);
        window->show();
        window->InitTimer->stop();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    }
    void Load(const BModel& model) {
        window->LoadModel(files.Write(QStringLiteral("model.p3d"), model), false);
        ASSERT_NE(window->Model, nullptr);
        // The texture files are nowhere: their messages are not looked at here.
        prompt.Messages.clear();
    }
    QStringList Selections() const {
        QStringList names;
        for (int i = 0; i < window->LB_Selections->count(); ++i) names << window->LB_Selections->item(i)->text();
        return names;
    }
    QList<QStringList> PropertyRows() const {
        QList<QStringList> rows;
        for (int r = 0; r < window->LB_Properties->rowCount(); ++r)
            rows << QStringList{window->LB_Properties->item(r, 0)->text(), window->LB_Properties->item(r, 1)->text()};
        return rows;
    }
    void ChooseLod(int row) {
        window->LB_LODs->SetItemIndex(row);
        window->LB_LODsClick();
    }
    void ChooseSelection(int row) {
        window->LB_Selections->SetItemIndex(row);
        window->CB_VertexesClick();
    }

    TModelFiles files;
    TScriptedPrompt prompt;
    std::unique_ptr<TMain> window;
};

// Two LODs: a detailed one with selections and properties, and a plain one.
BModel TwoLodModel() {
    BLod first = QuadLod(-1, 2, -0.5f, 1.5f, {-1.25f, -0.5f, 0}, {2, 1.5f, 0.125f});
    first.vertices.push_back({5, 6, 7});  // a fifth vertex, in no face
    first.normals.push_back({0, 0, -1});
    first.uv.push_back({0, 0});
    first.vertexInfo.push_back(0);
    first.link.push_back(3);  // the same point as vertex 3
    BSelection spread;
    spread.name = "spread";
    spread.vertexes = {0, 4};
    first.selections.push_back(spread);
    first.textures = {"data\\a.paa", "data\\b.paa", ""};
    first.properties = {{"class", "house"}, {"n", "0"}, {"map", "a=b"}};
    BLod second = QuadLod(0, 1, 0, 1);
    second.resolution = 1e13f;
    second.selections = {};
    return ModelWith({first, second}, 1234.5f);
}

}  // namespace

TEST_F(InfoPanelTest, ChosenLodFillsEveryLabelTheSelectionsAndTheProperties) {
    Load(TwoLodModel());
    EXPECT_EQ(window->L_Vertexes->text(), QStringLiteral("5"));
    EXPECT_EQ(window->L_Unique->text(), QStringLiteral("4"));
    EXPECT_EQ(window->L_Faces->text(), QStringLiteral("1"));
    EXPECT_EQ(window->L_Textures->text(), QStringLiteral("3"));
    EXPECT_EQ(window->L_Mass->text(), QStringLiteral("1234.5"));
    EXPECT_EQ(window->L_MinPos->text(), QStringLiteral("( -1.250; -0.500; 0.000 )"));
    EXPECT_EQ(window->L_MaxPos->text(), QStringLiteral("( 2.000; 1.500; 0.125 )"));
    EXPECT_EQ(Selections(), (QStringList{"face", "empty", "spread"}));
    EXPECT_EQ(window->LB_Selections->ItemIndex(), -1);
    for (int i = 0; i < window->LB_Selections->count(); ++i)
        EXPECT_EQ(TMain::SelectionOf(window->LB_Selections->item(i)),
                  window->Model->LODs[0]->Selections[static_cast<std::size_t>(i)]);
    // Split at the first "="; the value keeps the blank after it.
    EXPECT_EQ(PropertyRows(), (QList<QStringList>{{"class", " house"}, {"n", " 0"}, {"map", " a=b"}}));
    // No selection is chosen in the emptied list: no extent.
    EXPECT_EQ(window->L_Start->text(), QStringLiteral("-"));
    EXPECT_EQ(window->L_End->text(), QStringLiteral("-"));
    EXPECT_EQ(window->L_LWH->text(), QStringLiteral("-"));
}

TEST_F(InfoPanelTest, AnotherLodReplacesTheSelectionsAndTheProperties) {
    Load(TwoLodModel());
    ChooseSelection(0);
    ASSERT_NE(window->SelectedSelection(), nullptr);
    ASSERT_NE(window->L_Start->text(), QStringLiteral("-"));
    ChooseLod(1);
    EXPECT_EQ(window->L_Vertexes->text(), QStringLiteral("4"));
    EXPECT_EQ(window->L_Faces->text(), QStringLiteral("1"));
    EXPECT_EQ(window->L_Textures->text(), QStringLiteral("0"));
    EXPECT_EQ(window->L_MinPos->text(), QStringLiteral("( -3.000; -3.000; -3.000 )"));
    EXPECT_EQ(window->L_Mass->text(), QStringLiteral("1234.5"));
    EXPECT_TRUE(Selections().isEmpty());
    EXPECT_EQ(window->SelectedSelection(), nullptr);
    EXPECT_EQ(window->LB_Properties->rowCount(), 0);
    // The last selection is no longer listed, nor is its extent shown.
    EXPECT_EQ(window->L_Start->text(), QStringLiteral("-"));
    EXPECT_EQ(window->L_End->text(), QStringLiteral("-"));
    EXPECT_EQ(window->L_LWH->text(), QStringLiteral("-"));
}

TEST_F(InfoPanelTest, SelectionShowsItsExtent) {
    BModel model = TwoLodModel();
    model.offset2 = {10, 20, 30};
    Load(model);
    ChooseSelection(0);  // "face": the quad, with Offset2 added to its vertices
    EXPECT_EQ(window->L_Start->text(), QStringLiteral("( 9.000; 19.500; 30.000 )"));
    EXPECT_EQ(window->L_End->text(), QStringLiteral("( 12.000; 21.500; 30.000 )"));
    EXPECT_EQ(window->L_LWH->text(), QStringLiteral("( 3.000; 2.000; 0.000 )"));
    // The box is shown as stored, without Offset2.
    EXPECT_EQ(window->L_MinPos->text(), QStringLiteral("( -1.250; -0.500; 0.000 )"));
    ChooseSelection(2);  // "spread": vertices 0 and 4
    EXPECT_EQ(window->L_Start->text(), QStringLiteral("( 9.000; 19.500; 30.000 )"));
    EXPECT_EQ(window->L_End->text(), QStringLiteral("( 15.000; 26.000; 37.000 )"));
    EXPECT_EQ(window->L_LWH->text(), QStringLiteral("( 6.000; 6.500; 7.000 )"));
}

TEST_F(InfoPanelTest, SelectionWithoutVerticesShowsNoExtent) {
    Load(TwoLodModel());
    ChooseSelection(1);  // "empty"
    EXPECT_EQ(window->L_Start->text(), QStringLiteral("-"));
    EXPECT_EQ(window->L_End->text(), QStringLiteral("-"));
    EXPECT_EQ(window->L_LWH->text(), QStringLiteral("-"));
}

TEST_F(InfoPanelTest, ViewBoxesWithoutASelectionOnlyRepaint) {
    Load(TwoLodModel());
    window->CB_Axis->click();
    window->CB_Vertexes->click();
    window->CB_Ground->click();
    window->CB_Transparent->click();
    EXPECT_EQ(window->L_Start->text(), QStringLiteral("-"));
    EXPECT_TRUE(prompt.Errors.isEmpty());
}

TEST_F(InfoPanelTest, MassIsShownWithUpToThreeDecimals) {
    for (const auto& [mass, text] : {std::pair{0.0f, "0"}, std::pair{2.0004f, "2"}, std::pair{1234.5f, "1234.5"}}) {
        BModel model = TwoLodModel();
        model.totalMass = mass;
        Load(model);
        EXPECT_EQ(window->L_Mass->text(), QString::fromLatin1(text)) << mass;
    }
}

TEST_F(InfoPanelTest, EntryWithoutLodIsAnInternalError) {
    Load(TwoLodModel());
    window->AddLodEntry(QStringLiteral("stray"), nullptr);
    ASSERT_EQ(window->LB_Selections->count(), 3);
    ChooseLod(2);
    EXPECT_EQ(prompt.Messages, QStringList{QStringLiteral("Internal Error! No LOD found!")});
    EXPECT_EQ(window->LB_Selections->count(), 0);
    EXPECT_EQ(window->L_Vertexes->text(), QStringLiteral("5"));
}

TEST_F(InfoPanelTest, NoChosenLodDoesNothing) {
    Load(TwoLodModel());
    window->LB_LODs->SetItemIndex(-1);
    window->LB_LODsClick();
    EXPECT_EQ(window->LB_Selections->count(), 3);
    EXPECT_TRUE(prompt.Messages.isEmpty());
}

TEST_F(InfoPanelTest, ClickingTheListsWithTheMouseRunsTheHandlers) {
    Load(TwoLodModel());
    QListWidgetItem* second = window->LB_LODs->item(1);
    QTest::mouseClick(window->LB_LODs->viewport(), Qt::LeftButton, Qt::NoModifier,
                      window->LB_LODs->visualItemRect(second).center());
    EXPECT_EQ(window->SelectedLod(), window->Model->LODs[1]);
    EXPECT_EQ(window->L_Faces->text(), QStringLiteral("1"));
    EXPECT_EQ(window->LB_Selections->count(), 0);

    QListWidgetItem* first = window->LB_LODs->item(0);
    QTest::mouseClick(window->LB_LODs->viewport(), Qt::LeftButton, Qt::NoModifier,
                      window->LB_LODs->visualItemRect(first).center());
    ASSERT_EQ(window->LB_Selections->count(), 3);
    QListWidgetItem* face = window->LB_Selections->item(0);
    QTest::mouseClick(window->LB_Selections->viewport(), Qt::LeftButton, Qt::NoModifier,
                      window->LB_Selections->visualItemRect(face).center());
    EXPECT_EQ(window->L_LWH->text(), QStringLiteral("( 3.000; 2.000; 0.000 )"));
}
