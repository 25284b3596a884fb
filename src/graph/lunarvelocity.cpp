#include "graph/lunarvelocity.h"

#include "graph/fresnel_write.h"
#include "graph/graph_view.h"
#include "graph/velocity_calc.h"
#include "platform/controls.h"
#include "platform/qt_text.h"

TLunarVelocityCalculator* LunarVelocityCalculator = nullptr;
bool LunarVelocityCalculatorOpen = false;

namespace {

// Runs a calculation on the texts of `inputs`, writes the cleaned inputs back and
// returns the result text.
template <typename F>
std::string Calc(std::initializer_list<QLineEdit*> inputs, F&& calc) {
    std::vector<std::string> texts;
    for (QLineEdit* e : inputs) texts.push_back(StdStr(e->text()));
    const std::string result = calc(texts);
    size_t i = 0;
    for (QLineEdit* e : inputs) e->setText(QStr(texts[i++]));
    return result;
}

}  // namespace

TLunarVelocityCalculator::TLunarVelocityCalculator(QWidget* owner) : QWidget(owner) {
    setupUi(this);
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowFlags(Qt::Window | Qt::WindowStaysOnTopHint);
    LunarVelocityCalculator = this;
    for (QPushButton* b : {Button2, Button4, Button6, Button7}) WrapButtonCaption(b);
    connect(Button1, &QPushButton::clicked, this, &TLunarVelocityCalculator::Button1Click);
    connect(Button2, &QPushButton::clicked, this, &TLunarVelocityCalculator::Button2Click);
    connect(Button3, &QPushButton::clicked, this, &TLunarVelocityCalculator::Button3Click);
    connect(Button4, &QPushButton::clicked, this, &TLunarVelocityCalculator::Button4Click);
    connect(Button5, &QPushButton::clicked, this, &TLunarVelocityCalculator::Button5Click);
    connect(Button6, &QPushButton::clicked, this, &TLunarVelocityCalculator::Button6Click);
    connect(Button7, &QPushButton::clicked, this, &TLunarVelocityCalculator::Button7Click);
    FormCreate();
}

TLunarVelocityCalculator::~TLunarVelocityCalculator() {
    if (LunarVelocityCalculator == this) {
        LunarVelocityCalculator = nullptr;
        LunarVelocityCalculatorOpen = false;
    }
}

void TLunarVelocityCalculator::FormCreate() {
    Edit1->setText("1.40");
    Edit2->clear();
    Edit6->setText("5.000");
    LunarVelocityCalculatorOpen = true;
}

void TLunarVelocityCalculator::CalcLunarVelocity() {
    Edit2->setText(QStr(Calc({Edit1}, [](auto& t) { return velocity::CalcLunarVelocity(t[0]); })));
}

void TLunarVelocityCalculator::CalcAsteroidVelocity() {
    Edit5->setText(QStr(Calc({Edit3, Edit4}, [](auto& t) { return velocity::CalcAsteroidVelocity(t[0], t[1]); })));
}

void TLunarVelocityCalculator::CalcDistanceFromParallax() {
    Edit7->setText(QStr(Calc({Edit6}, [](auto& t) { return velocity::CalcDistanceFromParallax(t[0]); })));
}

void TLunarVelocityCalculator::Button2Click() {
    CalcLunarVelocity();
    fresnelwrite::WritePanelEdit(fresnelwrite::PanelEdit::Velocity, StdStr(Edit2->text()));
}

void TLunarVelocityCalculator::Button4Click() {
    CalcAsteroidVelocity();
    fresnelwrite::WritePanelEdit(fresnelwrite::PanelEdit::Velocity, StdStr(Edit5->text()));
}

void TLunarVelocityCalculator::Button6Click() {
    CalcDistanceFromParallax();
    // A parallax of 0 has no distance: nothing to write.
    if (!Edit7->text().isEmpty()) fresnelwrite::WritePanelEdit(fresnelwrite::PanelEdit::Distance, StdStr(Edit7->text()));
}

void TLunarVelocityCalculator::WriteVelocityFromMotion() {
    std::string m = StdStr(Edit8->text()), d = StdStr(Edit9->text()), c = StdStr(Edit11->text());
    const auto r = velocity::WriteVelocityFromMotion(m, d, c);
    Edit8->setText(QStr(m));
    Edit9->setText(QStr(d));
    Edit11->setText(QStr(c));
    if (!r) return;
    Edit10->setText(QStr(r->edit10));
    if (!Graph.DiffractionMode) return;
    fresnelwrite::WritePanelEdit(fresnelwrite::PanelEdit::Velocity, r->edit10);
    fresnelwrite::WritePanelEdit(fresnelwrite::PanelEdit::Distance, r->distanceKm);
    fresnelwrite::WritePanelEdit(fresnelwrite::PanelEdit::ContactAngle, r->angleText);
}
