// tevorin-harness SCRIPT: the real main window, offscreen, driven by line commands.
// Browser windows reach only this machine (files, loopback servers).
// The settings file is tevorin-harness.ini in the script's folder (written with
// the default values when missing), so a test controls the settings by writing it.
// Every dialog is answered by the script: questions get Yes unless "answer no"
// came first, file dialogs take the path the command gives, input boxes are
// cancelled unless "answer-text" came first. One line is printed per command; the
// first failing command ends the run with exit status 1. Blank lines and lines
// starting with # are skipped. Arguments are separated by single blanks; the last
// argument (TEXT, PATH) is the rest of the line after one blank, blanks included.
//
// CONTROL is a control's name; unqualified it is a control of the current window
// (the main window unless "window" chose another), WINDOW.CONTROL names a control
// of another open window (chart1, PreserveSetting, MeasurementOption, Mutual_Average
// ...); menu and popup items are controls too. The same list, shorter, is the usage
// text (kUsage below): keep both in step.
//
// Video and run:
//   open PATH              "Open AVI" with PATH chosen in the dialog; fails unless it opened
//   try-open PATH          the same, whatever happens (check with expect-errors)
//   reader dshow|vfw|avs   the reader: DirectShow, Video for Windows, or Video for
//                          Windows through a written script ("Use AviSynth"); also
//                          written into the settings file, so that it holds over the
//                          settings re-read after every opening
//   goto N                 move to frame N
//   start | stop           START | STOP
//   run                    START, then let the timer run until the measurement stops
//   play | play-back       play forwards | backwards until the timer stops
//   step [N]               "1Fr+" N times ("-1Fr" for negative N), default 1
//   oneframe               "1Frame"
//   del                    "DEL"
//   remove-data            "DataRemove"
//   save PATH | load PATH  "SaveToCSV-File" | "Load CSV" with PATH chosen (open, try-open,
//                          save and load withdraw PATH when no file dialog came)
//   stop-at N              the next run is stopped (STOP, or the stop button while
//                          playing) as soon as frame N has been shown
//   click X Y              a left click on the frame at frame pixel (X, Y), in the
//                          current placement mode
//   add X Y                "Object Star Add" at (X, Y)
//   select A|B|C           the object's radio button clicked
//   remove-object          "Remove Object" for the current object
//   place-mode star|signal1|signal2|tivi   the "Position Set" radio button
//   graph                  "Graph" on the main window; fails unless the graph opened
//   graph-click X Y        press and release on chart1.ChartImg1 at picture pixel (X, Y)
//   graph-select ROW       a graph-click on the point of object A of data row ROW
//                          (0-based); fails when that point is not shown
// Acting on any window:
//   window NAME            later unqualified controls are window NAME's (main, the
//                          default, or a window variable such as chart1); fails when
//                          it is not open
//   set CONTROL VALUE      up-down position, check box 0/1, radio button (1 checks
//                          it), combo box or radio group item index, edit text,
//                          scroll bar or slider position, checkable menu item 0/1, tab
//                          page index (0 the first page); the handler runs as for a user
//                          (a box or button that changes is clicked; an edit's text is
//                          typed over and Enter pressed in it)
//   press CONTROL          a user's click on a button, check box, radio button, menu
//                          or popup item (a button that takes the focus takes it from
//                          the control that "type" or "key" gave it, whose exit
//                          handler runs first)
//   key CONTROL KEY        a key pressed and released in a control, or in a window
//                          when CONTROL names an open window: enter, escape, tab,
//                          backspace, delete, space, up, down, left, right, home,
//                          end, pageup, pagedown, insert, f1..f12 (any case), or one
//                          character; ctrl+, shift+ and alt+ may stand before it
//   type CONTROL TEXT      TEXT typed into the control key by key, without Enter
//   (key and type first give the control the focus as the Tab key does, unless it
//    has it already: the control that had it is left and its exit handler runs, then
//    the new one's enter handler; an edit's text is selected, so typing replaces it)
//   leave CONTROL          the focus leaves the control (its exit handler runs)
//   mouse CONTROL left|right X Y   press and release on a control at (X, Y), an
//                          image control's picture pixel; a list box's row under the
//                          point is clicked; the right button also runs a control's
//                          own context action (e.g. "Estimated track")
//   mouse-move X Y         the pointer moved over the frame to frame pixel (X, Y)
//   dblclick CONTROL       a double click in the middle of a control (FresnelCtrl.Edit1)
//   close [WINDOW]         closes the window (default: the current one) as its
//                          title-bar button does
//   open-window WebAccess|Map|Browser1|DataViewer   opens the window as its opener does, without
//                          the opener's checks (Map shows the GPS record as it is now)
//   gps FIELD TEXT         sets a field of the GPS record: Satellites HDOP UTC Latitude
//                          Longitude Altitude WGSSeparation (TEXT may be empty)
//   navigate URL           Browser1's address box set to URL and its navigate button
//                          pressed (follow with "wait load")
//   wait-ms N              lets the event loop run for N milliseconds
//   wait fit               until every fit, search, batch or pass on a worker
//                          (FresnelCtrl, Mutual_Average, TimingErrorSimulation,
//                          AvgBkg, Correction ...) has finished and shown its result
//   wait load              until no background load is under way
//   wait timer [WINDOW]    until the window's timers (the main window's Timer1) stopped
//   (a wait that does not end within five minutes fails)
// Answering what the program asks:
//   answer yes|no          the answer to the next question
//   answer-file PATH [FILTER] the next file dialog: PATH, file type FILTER (1-based)
//                          picked after typing the name
//   answer-text TEXT       the next input box: TEXT entered and OK
//   answer-folder PATH     the next folder dialog (without one, a folder dialog takes
//                          the next file answer)
//   clipboard-set PATH     the clipboard holds the file's text, or its picture for a
//                          .png file (what "from Clipboard" and "Paste from clipboard"
//                          of the identification window take)
//   capture-device video|audio NAME FORMAT:URL   a capture device offered to the
//                          capture window (Capture_1) opened after it: NAME (no
//                          blanks) and the FFmpeg input behind it, e.g.
//                          lavfi:testsrc2=size=720x576:rate=25,realtime; the
//                          machine's own capture devices are never offered in a run
// Reading back:
//   print-text CONTROL, expect-text CONTROL TEXT   the control's text: edits, buttons,
//                          labels, group titles, combo boxes, menu items; an up-down,
//                          scroll bar or slider position; a tab control's page index;
//                          a memo's or list box's lines joined with |
//   expect-checked CONTROL 0|1, expect-enabled CONTROL 0|1
//   expect-shown WINDOW 0|1     the window (main, PreserveSetting, MeasurementOption,
//                          ...) is open and shown
//   expect-cursor cross|arrow   the cursor over the frame
//   expect-color CONTROL #RRGGBB   the text colour of an edit (blue while being edited)
//   expect-box KIND TEXT   the last box of KIND (any, error, warning, information,
//                          confirmation, yesno, yesonly, input), CR and LF shown as |
//                          (confirmation also matches yesno and yesonly; input
//                          compares the prompt)
//   expect-errors N        error boxes shown so far
//   expect-caption TEXT    the last box's own caption (empty when it had none)
//   expect-error TEXT      the last error box's text, with each CR and LF shown as |
//   print-errors           prints the number of error boxes and the last one's text
//   expect-clipboard TEXT  the clipboard's text, each CR and LF shown as |
//   clipboard-image PATH   the last image put on the clipboard, as PNG
//   dump-image CONTROL PATH   an image control's picture as PNG (Image1, chart1.ChartImg1)
//   dump-frame N PATH      frame N as the active reader delivers it, binary PPM
//   screenshot [WINDOW] PATH   PNG of the main window or of WINDOW (offscreen: at its
//                          designed size); a first word that is a plain name (letters,
//                          digits, _) followed by a blank is the window
//   expect-rows N          data rows in the results table
//   expect-field ROW COL TEXT   field COL of data row ROW (both 1-based) equals TEXT
//   expect-line N TEXT     line N (1-based) of the results table equals TEXT
//   print-row ROW          prints data row ROW
//   print-overlay          the time line's last reading as key=value pairs (as the
//                          probe's overlay-time prints them, without frame=)
//   expect-overlay KEY VALUE   one pair of that line (VALUE may be empty)
//   print-graph            the graph's view: GraphMin= GraphMax= YScale= YOffset=
//                          XScale= XScaleBase= FirstShownFrame= ShownFrameCount=
//                          DataRowCount= SelectedFrame= FieldMode= EntireView=
//                          Scroll=POS,MAX Markers=x1,y1,x2,y2,x3,y3 (reals as %.17g)
//   print-fit              the diffraction fit's state, one line of key=value: FitDone
//                          FitTimeShift FresnelRate UpperLevel LowerLevel
//                          StarTemperature CcdIndex ObjectDistance ShadowVelocity
//                          ShadowVelocityPerInterval and the nine level statistics
//                          (LevelBeforeMean ... LevelAfterCount; reals as %.17g)
//   print-title            the graph's title line and information line as drawn
//                          (the title's two texts joined by one blank)
//   print-tivi             the TIVi marker, its 18 sample points and the last reading,
//                          three lines as the probe's tivi prints them
//   print-signals          "s1= s2=" bytes of the frame line, "panel1= panel2=" white or red
//   print-grid             the located grid: "row= pitch= height= level= located= last="
//                          (how the last locate ended) and "columns=" (row set 5, 0-28)
//   print-gps              the GPS record, seven lines Satellites= ... WGSSeparation=
//   print-url WINDOW       the address WINDOW's browser shows (Map, Browser1)
//   print-window-title WINDOW   the title of the page in WINDOW's browser; for a
//                          window without a browser, its caption
//   print-shell            each program start and address opening asked for so far,
//                          one a line: "start PROGRAM ARG..." or "open URL", separated
//                          by tabs (nothing is started or opened in a harness run)
//   print-var NAME, expect-var NAME VALUE   a program variable as NAME=VALUE:
//       ReaderKind (0 the AVI reader, 1 DirectShow, 2 none) DirectShowSelected
//       UseAviSynth CsvFolderFollowsVideo TimeInserterType OverlayGridLocated
//       TIViReading OverlayTimeReading OverlayThreshold DirectionMode FieldViewShown
//       Timer1Interval CutBkgUpper CutBkgLower SignalBoxesEnabled
//       MeasurementRegionDisplay AutoDirectionEnabled SaturationLimit InitialPeak
//       MeasurePeakPixel SubtractBackground EasyClick, ThreeDTilt ThreeDTurn
//       ThreeDScale (3-D view open, degrees rounded), and per object NAME[k]
//       (k = 1..3): BkgShape TrackMode LostPercent RectangleWidth RectangleHeight
//       SpinPoint ("x,y") TrackRef and LinkRef ("f1,x1,y1,f2,x2,y2", -100 unset)
//       AperturePixels (frame line); DshowStepLog (the DirectShow reader's step
//       log, lines joined with |)
// Software update ("Software Update" opens the window WebAccess; its check runs
// as it opens, so these come first):
//   update-base URL        the update site's folder for this run (ending in /)
//   program-dir DIR        the program folder the update installs into
//   update-key PATH        the public key (PEM) the update's signatures must verify against
//   (the restart script's start is recorded as print-shell shows)
#include <QAbstractScrollArea>
#include <QAction>
#include <QApplication>
#include <QContextMenuEvent>
#include <QDialog>
#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QKeyEvent>
#include <QPointer>
#include <QTabWidget>
#include <QTimer>
#include <QWebEngineView>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenuBar>
#include <QSlider>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QRadioButton>
#include <QScrollBar>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <optional>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <sstream>

#include "graph/chart.h"
#include "graph/graph_view.h"
#include "graph/spectral_model.h"
#include "measure/grapharea.h"
#include "measure/main_2.h"
#include "measure/results_view.h"
#include "measure/settings_file.h"
#include "platform/activity.h"
#include "platform/background_job.h"
#include "platform/controls.h"
#include "platform/file_io.h"
#include "platform/ini_file.h"
#include "platform/dialogs.h"
#include "platform/numtext.h"
#include "platform/shell_service.h"
#include "platform/web_engine_setup.h"
#include "support/qt_test_environment.h"
#include "video/avidshow.h"
#include "video/capture_devices.h"
#include "web/Browser1.h"
#include "web/DataViewer.h"
#include "web/StationMap.h"
#include "web/browser_policy.h"
#include "web/WebAccess.h"
#include "web/update_steps.h"
#include "web/update_signature.h"

namespace {

const char* const kUsage = R"(usage: tevorin-harness SCRIPT
SCRIPT holds one command a line (# starts a comment). CONTROL is a control of the
current window or WINDOW.CONTROL; menu items are controls.
video and run:
  open PATH | try-open PATH | reader dshow|vfw|avs | goto N | start | stop | run
  play | play-back | step [N] | oneframe | del | remove-data | save PATH | load PATH
  stop-at N | click X Y | add X Y | select A|B|C | remove-object
  place-mode star|signal1|signal2|tivi | graph | graph-click X Y | graph-select ROW
acting:
  window NAME | set CONTROL VALUE | press CONTROL | key CONTROL|WINDOW KEY
  type CONTROL TEXT | leave CONTROL | mouse CONTROL left|right X Y | mouse-move X Y
  dblclick CONTROL
  open-window WebAccess|Map|Browser1|DataViewer | gps FIELD TEXT | navigate URL
  close [WINDOW] | wait-ms N | wait fit | wait load | wait timer [WINDOW]
answering:
  answer yes|no | answer-file PATH [FILTER] | answer-text TEXT | answer-folder PATH
  clipboard-set PATH
  capture-device video|audio NAME FORMAT:URL
reading back:
  print-text CONTROL | expect-text CONTROL TEXT | expect-checked CONTROL 0|1
  expect-enabled CONTROL 0|1 | expect-shown WINDOW 0|1 | expect-cursor cross|arrow
  expect-color CONTROL #RRGGBB
  expect-box KIND TEXT | expect-caption TEXT | expect-errors N | expect-error TEXT | print-errors
  expect-clipboard TEXT | clipboard-image PATH | dump-image CONTROL PATH
  dump-frame N PATH | screenshot [WINDOW] PATH | expect-rows N
  expect-field ROW COL TEXT | expect-line N TEXT | print-row ROW | print-overlay
  expect-overlay KEY VALUE | print-graph | print-title | print-fit | print-var NAME
  expect-var NAME VALUE | print-url WINDOW | print-window-title WINDOW | print-shell
software update:
  update-base URL | program-dir DIR | update-key PATH
)";

struct Failure {
    std::string message;
};

std::string Rest(std::istringstream& in) {
    // Exactly one blank separates the text, so texts may begin with blanks.
    std::string rest;
    std::getline(in, rest);
    return !rest.empty() && rest[0] == ' ' ? rest.substr(1) : rest;
}

// CR and LF shown as |, as scripts compare texts on one line.
std::string Bars(std::string text) {
    for (auto& c : text)
        if (c == '\r' || c == '\n') c = '|';
    return text;
}

int Int(const std::string& text) {
    auto v = numtext::ParseInt32(text);
    if (!v) throw Failure{"not a number: " + text};
    return *v;
}

class Harness {
public:
    Harness() {
        dialogs_.Install();
        platform::SetShellRecorder([this](const platform::ShellRequest& r) { shell_.push_back(r); });
        window_ = std::make_unique<TPlatform>();
        // The plain offscreen screen is 800 x 800: the window keeps its designed
        // size there, so screenshots show all of it. A screen given by
        // QT_QPA_PLATFORM=offscreen:configfile=... or a real display fits it.
        if (qgetenv("QT_QPA_PLATFORM") == "offscreen")
            window_->resize(window_->centralwidget->minimumSize() + QSize(0, window_->menuBar()->sizeHint().height()));
        window_->show();
    }

    void Run(const std::string& line) {
        std::istringstream in(line);
        std::string cmd;
        in >> cmd;
        TPlatform& w = *window_;
        if (cmd == "open" || cmd == "try-open") {
            const std::string path = Rest(in);
            const size_t errors = dialogs_.Texts("error").size();
            WithFileAnswer(path, [&] { w.Button1Click(); });
            if (cmd == "open" && (!w.State.VideoOpen || w.State.VideoFileName != path || dialogs_.Texts("error").size() != errors))
                throw Failure{"the video did not open"};
        } else if (cmd == "reader") {
            std::string kind = Rest(in);
            w.State.DirectShowSelected = kind == "dshow" ? 1 : 0;
            w.State.UseAviSynth = kind == "avs" ? 1 : 0;
            w.CheckBox7->setChecked(kind == "dshow");
            IniFile ini;
            std::string error;
            const std::string path = ProgramSettingsFile().Path();
            if (ini.Load(path, error) == IniFile::LoadResult::Failed || !ini.WriteBool("FileRead", "Use AviSynth to read file", kind == "avs") ||
                !ini.WriteString("FileRead", "API for reading file", kind == "dshow" ? "DirectShow" : "VideoForWindows") ||
                !ini.Save(path, error))
                throw Failure{"cannot write the reader into " + path + ": " + error};
        } else if (cmd == "update-base") {
            web::SetUpdateBase(Rest(in));
        } else if (cmd == "program-dir") {
            web::SetUpdateProgramDir(Rest(in));
        } else if (cmd == "update-key") {
            const std::string path = Rest(in);
            std::string pem, error;
            if (!fileio::ReadFile(path, pem, error, 1 << 16)) throw Failure{"cannot read the key: " + error};
            if (const std::string problem = web::UpdateKeyProblem(pem); !problem.empty())
                throw Failure{path + ": " + problem};
            web::SetUpdateKey(pem);
        } else if (cmd == "set") {
            std::string name;
            in >> name;
            Set(name, Rest(in));
        } else if (cmd == "goto") {
            w.GoToFrame(Int(Rest(in)));
        } else if (cmd == "start") {
            w.StartMeasurement();
        } else if (cmd == "stop") {
            w.StopMeasurement();
        } else if (cmd == "run") {
            w.StartMeasurement();
            WaitForTimer();
        } else if (cmd == "play") {
            w.SpeedButton1Click();
            WaitForTimer();
        } else if (cmd == "play-back") {
            w.SpeedButton10Click();
            WaitForTimer();
        } else if (cmd == "step") {
            std::string n = Rest(in);
            int count = n.empty() ? 1 : Int(n);
            for (int i = 0; i < std::abs(count); ++i) (count > 0 ? w.SpeedButton4 : w.SpeedButton5)->click();
        } else if (cmd == "oneframe") {
            w.Button16Click();
        } else if (cmd == "del") {
            w.Button21Click();
        } else if (cmd == "remove-data") {
            w.ClearMeasurementData();
        } else if (cmd == "answer") {
            dialogs_.yesNoAnswers.push_back(Rest(in) != "no");
        } else if (cmd == "save") {
            WithFileAnswer(Rest(in), [&] { w.Button6Click(); });
        } else if (cmd == "load") {
            WithFileAnswer(Rest(in), [&] { w.Button20Click(); });
        } else if (cmd == "dump-frame") {
            int n;
            in >> n;
            DumpFrame(n, Rest(in));
        } else if (cmd == "screenshot") {
            std::string path = Rest(in);
            QWidget* target = window_.get();
            const size_t blank = path.find(' ');
            if (blank != std::string::npos && IsPlainName(path.substr(0, blank))) {
                target = Window(path.substr(0, blank));
                path = path.substr(blank + 1);
            }
            QCoreApplication::processEvents();  // scroll bars show or hide on queued events
            if (!target->grab().save(QString::fromStdString(path), "PNG")) throw Failure{"cannot write the screenshot " + path};
        } else if (cmd == "expect-rows") {
            const int rows = static_cast<int>(w.Table.Count()) - DetectResultsFormat(w.Table).headerLines;
            if (rows != Int(Rest(in))) throw Failure{"rows: " + std::to_string(rows)};
        } else if (cmd == "expect-field") {
            int row, col;
            in >> row >> col;
            const std::string want = Rest(in), got = GetField(Row(row), col);
            if (got != want) throw Failure{"field is \"" + got + "\""};
        } else if (cmd == "expect-line") {
            int n;
            in >> n;
            const std::string want = Rest(in);
            if (n < 1 || static_cast<size_t>(n) > w.Table.Count()) throw Failure{"no such line"};
            if (w.Table[static_cast<size_t>(n - 1)] != want) throw Failure{"line is \"" + w.Table[static_cast<size_t>(n - 1)] + "\""};
        } else if (cmd == "expect-text") {
            std::string name;
            in >> name;
            const std::string want = Rest(in), got = Text(name);
            if (got != want) throw Failure{"text is \"" + got + "\""};
        } else if (cmd == "expect-errors") {
            const int n = static_cast<int>(dialogs_.Texts("error").size());
            if (n != Int(Rest(in))) throw Failure{"errors: " + std::to_string(n) + (n ? " (last: " + dialogs_.Texts("error").back() + ")" : "")};
        } else if (cmd == "expect-error") {
            const std::string want = Rest(in);
            const auto errors = dialogs_.Texts("error");
            std::string got = errors.empty() ? "" : errors.back();
            for (auto& c : got)
                if (c == '\r' || c == '\n') c = '|';
            if (got != want) throw Failure{"last error is \"" + got + "\""};
        } else if (cmd == "click") {
            int x, y;
            in >> x >> y;
            if (!in) throw Failure{"click needs X Y"};
            w.Image1MouseDown(Qt::LeftButton, x, y);
        } else if (cmd == "add") {
            int x, y;
            in >> x >> y;
            if (!in) throw Failure{"add needs X Y"};
            // The middle button keeps the point as the right one does, without the popup.
            w.Image1MouseDown(Qt::MiddleButton, x, y);
            w.Add1->trigger();
        } else if (cmd == "select") {
            const std::string k = Rest(in);
            QRadioButton* b = k == "A" ? w.RadioButton7 : k == "B" ? w.RadioButton8 : k == "C" ? w.RadioButton9 : nullptr;
            if (!b) throw Failure{"select A, B or C"};
            b->click();
        } else if (cmd == "remove-object") {
            w.RemoveObject();
        } else if (cmd == "place-mode") {
            const std::string m = Rest(in);
            QRadioButton* b = m == "star" ? w.RadioButton10 : m == "signal1" ? w.RadioButton11 : m == "signal2" ? w.RadioButton12
                            : m == "tivi" ? w.RadioButton13 : nullptr;
            if (!b) throw Failure{"place-mode star, signal1, signal2 or tivi"};
            b->setChecked(true);
        } else if (cmd == "expect-objects") {
            int n;
            std::string k;
            in >> n >> k;
            const std::string got = std::to_string(w.State.ObjectCount) + " " + std::string(1, static_cast<char>('A' + w.State.CurrentObject - 1));
            if (got != std::to_string(n) + " " + k) throw Failure{"objects: " + got};
        } else if (cmd == "print-tivi") {
            std::printf("%s\n", w.TIViProbeText().c_str());
        } else if (cmd == "print-grid") {
            std::printf("%s\n", w.GridProbeText().c_str());
        } else if (cmd == "print-gps") {
            std::printf("%s\n", w.GpsProbeText().c_str());
        } else if (cmd == "open-window") {
            const std::string name = Rest(in);
            QWidget* opened = nullptr;
            if (name == "WebAccess")
                opened = new TWebAccess(&w, [&w] { QMetaObject::invokeMethod(&w, &QWidget::close, Qt::QueuedConnection); });
            else if (name == "Map") opened = new TMap(w.GpsRecord, w.State.TimeInserterType, &w);
            else if (name == "Browser1") opened = new TBrowser1(&w);
            else if (name == "DataViewer") opened = new TDataViewer(&w);
            else throw Failure{"open-window WebAccess|Map|Browser1|DataViewer"};
            UseFormFont(opened);
            if (auto* dialog = qobject_cast<QDialog*>(opened)) Dialogs().ShowModal(dialog);
            else opened->show();
            QCoreApplication::processEvents();
        } else if (cmd == "gps") {
            std::string field;
            in >> field;
            overlay::GpsRecord& g = w.GpsRecord;
            std::string* target = field == "Satellites" ? &g.Satellites : field == "HDOP" ? &g.HDOP : field == "UTC" ? &g.UTC
                                : field == "Latitude" ? &g.Latitude : field == "Longitude" ? &g.Longitude
                                : field == "Altitude" ? &g.Altitude : field == "WGSSeparation" ? &g.WGSSeparation : nullptr;
            if (!target) throw Failure{"gps Satellites|HDOP|UTC|Latitude|Longitude|Altitude|WGSSeparation TEXT"};
            *target = Rest(in);
        } else if (cmd == "navigate") {
            auto* browser = qobject_cast<TBrowser1*>(Window("Browser1"));
            if (!browser) throw Failure{"the web browser is not open"};
            browser->Edit1->setText(QString::fromStdString(Rest(in)));
            browser->NavigateButton->click();
        } else if (cmd == "print-url" || cmd == "print-window-title") {
            QWidget* window = Window(Rest(in));
            auto* view = window->findChild<QWebEngineView*>("WebBrowser1");
            if (cmd == "print-url") {
                if (!view) throw Failure{"the window has no browser"};
                std::printf("%s\n", view->url().toString().toStdString().c_str());
            } else {
                std::printf("%s\n", (view ? view->title() : window->windowTitle()).toStdString().c_str());
            }
        } else if (cmd == "print-shell") {
            for (const auto& r : shell_) std::printf("%s\n", platform::ShellRequestLine(r).c_str());
        } else if (cmd == "print-signals") {
            std::printf("%s\n", w.SignalProbeText().c_str());
        } else if (cmd == "print-overlay" || cmd == "expect-overlay") {
            const std::string line = w.OverlayReading();
            if (cmd == "print-overlay") {
                std::printf("%s\n", line.c_str());
            } else {
                std::string key;
                in >> key;
                const std::string want = key + "=" + Rest(in);
                const std::string padded = " " + line + " ";
                if (key.empty() || padded.find(" " + want + " ") == std::string::npos) throw Failure{line};
            }
        } else if (cmd == "print-var" || cmd == "expect-var") {
            std::string name;
            in >> name;
            const std::string got = name + "=" + Var(name);
            if (cmd == "print-var") std::printf("%s\n", got.c_str());
            else if (got != name + "=" + Rest(in)) throw Failure{got};
        } else if (cmd == "expect-checked" || cmd == "expect-enabled") {
            std::string name;
            in >> name;
            const bool want = Rest(in) != "0";
            QObject* o = Find(name);
            bool got;
            if (cmd == "expect-enabled") {
                if (auto* a = qobject_cast<QAction*>(o)) got = a->isEnabled();
                else got = qobject_cast<QWidget*>(o) && qobject_cast<QWidget*>(o)->isEnabled();
            } else if (auto* a = qobject_cast<QAction*>(o)) {
                got = a->isChecked();
            } else if (auto* b = qobject_cast<QAbstractButton*>(o)) {
                got = b->isChecked();
            } else {
                throw Failure{name + " cannot be checked"};
            }
            if (got != want) throw Failure{name + (cmd == "expect-enabled" ? " enabled " : " checked ") + std::to_string(got)};
        } else if (cmd == "expect-shown") {
            std::string name;
            in >> name;
            bool got = name == "main" && window_->isVisible();
            for (QWidget* top : QApplication::topLevelWidgets())
                if (top->objectName().toStdString() == name && top->isVisible()) got = true;
            if (got != (Rest(in) != "0")) throw Failure{name + " shown " + std::to_string(got)};
        } else if (cmd == "mouse-move") {
            int x, y;
            in >> x >> y;
            if (!in) throw Failure{"mouse-move needs X Y"};
            w.Image1MouseMove(x, y);
        } else if (cmd == "expect-cursor") {
            const std::string want = Rest(in);
            const std::string got = w.Image1->cursor().shape() == Qt::CrossCursor ? "cross" : "arrow";
            if (got != want) throw Failure{"cursor is " + got};
        } else if (cmd == "expect-color") {
            std::string name;
            in >> name;
            const std::string want = Rest(in);
            auto* target = qobject_cast<QWidget*>(Find(name));
            if (!target) throw Failure{name + " has no text colour"};
            const std::string got = target->palette().color(QPalette::Text).name(QColor::HexRgb).toUpper().toStdString();
            if (got != QString::fromStdString(want).toUpper().toStdString()) throw Failure{name + " colour is " + got};
        } else if (cmd == "window") {
            const std::string name = Rest(in);
            Window(name);
            current_ = name;
        } else if (cmd == "press") {
            Press(Rest(in));
        } else if (cmd == "print-text") {
            std::printf("%s\n", Text(Rest(in)).c_str());
        } else if (cmd == "close") {
            std::string name = Rest(in);
            Window(name.empty() ? current_ : name)->close();
            QCoreApplication::processEvents();
            // A window that frees itself on closing is gone before the next command.
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        } else if (cmd == "graph") {
            w.Button18Click();
            QCoreApplication::processEvents();
            if (!chart1) throw Failure{"the graph window did not open"};
        } else if (cmd == "graph-click") {
            int x, y;
            in >> x >> y;
            if (!in) throw Failure{"graph-click needs X Y"};
            if (!chart1) throw Failure{"the graph window is not open"};
            chart1->ChartImg1MouseDown(Qt::LeftButton, x, y);
            chart1->ChartImg1MouseUp(Qt::LeftButton, x, y);
        } else if (cmd == "graph-select") {
            const int row = Int(Rest(in));
            if (!chart1) throw Failure{"the graph window is not open"};
            chart1->HRatioCalc();
            chart1->Drawing.UpdateTable(chart1->Inputs(), Graph);
            const GraphTable& t = chart1->Drawing.Table();
            const int i = row - Graph.FirstShownFrame;
            if (row < 0 || row >= t.Rows() || i < 0 || i > Graph.ShownFrameCount || t.At(row, 1).kind != CellKind::Number)
                throw Failure{"row " + std::to_string(row) + " has no point shown"};
            const int x = RowToX(Graph, i), y = ValueToY(Graph, chart1->ChartImg1->Picture().height(), t.At(row, 1).value);
            chart1->ChartImg1MouseDown(Qt::LeftButton, x, y);
            chart1->ChartImg1MouseUp(Qt::LeftButton, x, y);
        } else if (cmd == "expect-caption") {
            const std::string want = Rest(in);
            std::string got;
            for (const auto& b : dialogs_.shown)
                if (b.what != "open" && b.what != "save" && b.what != "folder" && b.what != "window") got = b.title;
            if (got != want) throw Failure{"last box's caption is \"" + got + "\""};
        } else if (cmd == "print-graph") {
            PrintGraph();
        } else if (cmd == "print-fit") {
            const GraphView& g = Graph;
            const diffraction::DiffractionModel& m = diffraction::Model;
            std::printf("FitDone=%d FitTimeShift=%d FresnelRate=%.17g UpperLevel=%.17g LowerLevel=%.17g "
                        "StarTemperature=%d CcdIndex=%d ObjectDistance=%lld ShadowVelocity=%.17g "
                        "ShadowVelocityPerInterval=%.17g LevelBeforeMean=%.17g LevelStepMean=%.17g "
                        "LevelAfterMean=%.17g LevelBeforeStdErr=%.17g LevelStepStdErr=%.17g LevelAfterStdErr=%.17g "
                        "LevelBeforeCount=%d LevelStepCount=%d LevelAfterCount=%d\n",
                        g.FitDone, g.FitTimeShift, g.FresnelRate, g.UpperLevel, g.LowerLevel, m.StarTemperature,
                        m.CcdIndex, static_cast<long long>(m.ObjectDistance), static_cast<double>(m.ShadowVelocity),
                        static_cast<double>(m.ShadowVelocityPerInterval), g.LevelBeforeMean, g.LevelStepMean,
                        g.LevelAfterMean, g.LevelBeforeStdErr, g.LevelStepStdErr, g.LevelAfterStdErr, g.LevelBeforeCount,
                        g.LevelStepCount, g.LevelAfterCount);
        } else if (cmd == "print-title") {
            if (!chart1) throw Failure{"the graph window is not open"};
            std::printf("%s\n%s\n", Graph.TitleText.c_str(), Graph.InformationText.c_str());
        } else if (cmd == "dump-image") {
            std::string name;
            in >> name;
            auto* image = qobject_cast<TImage*>(Find(name));
            if (!image) throw Failure{name + " is not an image"};
            if (!image->Picture().save(QString::fromStdString(Rest(in)), "PNG")) throw Failure{"cannot write the picture"};
        } else if (cmd == "answer-file") {
            std::string rest = Rest(in);
            int filter = 0;
            const size_t blank = rest.rfind(' ');
            if (blank != std::string::npos) {
                if (auto f = numtext::ParseInt32(rest.substr(blank + 1))) {
                    filter = *f;
                    rest.resize(blank);
                }
            }
            dialogs_.fileAnswers.push_back({rest, filter});
        } else if (cmd == "expect-box") {
            std::string kind;
            in >> kind;
            const std::string want = Rest(in);
            std::string got;
            for (const auto& b : dialogs_.shown)
                if ((kind == "any" && b.what != "open" && b.what != "save" && b.what != "folder" && b.what != "window") ||
                    b.what == kind || (kind == "confirmation" && (b.what == "yesno" || b.what == "yesonly")))
                    got = b.text;
            for (auto& c : got)
                if (c == '\r' || c == '\n') c = '|';
            if (got != want) throw Failure{"last box is \"" + got + "\""};
        } else if (cmd == "clipboard-image") {
            if (dialogs_.clipboardImage.isNull()) throw Failure{"no image on the clipboard"};
            if (!dialogs_.clipboardImage.save(QString::fromStdString(Rest(in)), "PNG")) throw Failure{"cannot write the picture"};
        } else if (cmd == "dblclick") {
            const std::string name = Rest(in);
            auto* target = qobject_cast<QWidget*>(Find(name));
            if (!target) throw Failure{"dblclick needs a control"};
            const QPointF at(target->width() / 2.0, target->height() / 2.0);
            for (QEvent::Type t : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease, QEvent::MouseButtonDblClick,
                                   QEvent::MouseButtonRelease}) {
                const bool down = t != QEvent::MouseButtonRelease;
                QMouseEvent e(t, at, target->mapToGlobal(at), Qt::LeftButton, down ? Qt::LeftButton : Qt::NoButton,
                              Qt::NoModifier);
                QCoreApplication::sendEvent(target, &e);
            }
            QCoreApplication::processEvents();
        } else if (cmd == "mouse") {
            std::string name, button;
            int x, y;
            in >> name >> button >> x >> y;
            auto* target = qobject_cast<QWidget*>(Find(name));
            if (!in || !target || (button != "left" && button != "right"))
                throw Failure{"mouse needs a control, left|right, X Y"};
            if (!target->isEnabled()) throw Failure{name + " is disabled"};
            const Qt::MouseButton b = button == "left" ? Qt::LeftButton : Qt::RightButton;
            const QPointF at(x, y), global = target->mapToGlobal(at);
            // A list box (any scrolled view) takes the mouse in its viewport: the row
            // under the point is clicked.
            QWidget* receiver = target;
            if (auto* area = qobject_cast<QAbstractScrollArea*>(target)) receiver = area->viewport();
            const QPointF local = receiver->mapFrom(target, at);
            for (QEvent::Type t : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease}) {
                QMouseEvent e(t, local, global, b, t == QEvent::MouseButtonPress ? b : Qt::NoButton, Qt::NoModifier);
                QCoreApplication::sendEvent(receiver, &e);
            }
            // A control with a context action of its own ("Estimated track") gets it
            // asked for; Qt's stock menus would wait for a choice, so they are not.
            if (b == Qt::RightButton && target->contextMenuPolicy() == Qt::CustomContextMenu) {
                QContextMenuEvent menu(QContextMenuEvent::Mouse, at.toPoint(), global.toPoint());
                QCoreApplication::sendEvent(target, &menu);
            }
            QCoreApplication::processEvents();
        } else if (cmd == "wait") {
            std::string what;
            in >> what;
            const std::string arg = Rest(in);
            if (what == "fit" && arg.empty()) {
                // Every long work on a worker: fits, searches, batches and passes.
                WaitUntil([] { return !activity::Busy("fit") && !activity::Busy(BackgroundJob::kAnyJob); },
                          "the fit did not finish");
            } else if (what == "load" && arg.empty()) {
                WaitUntil([] { return !activity::Busy("load"); }, "the load did not finish");
            } else if (what == "timer") {
                QPointer<QWidget> window = Window(arg.empty() ? "main" : arg);
                WaitUntil(
                    [&] {
                        if (!window) return true;
                        for (const QTimer* t : window->findChildren<QTimer*>())
                            if (t->isActive()) return false;
                        return true;
                    },
                    "the timer did not stop");
            } else {
                throw Failure{"wait fit|load|timer [WINDOW]"};
            }
        } else if (cmd == "wait-ms") {
            const int ms = Int(Rest(in));
            if (ms < 0) throw Failure{"wait-ms needs N >= 0"};
            QEventLoop loop;
            QTimer::singleShot(ms, &loop, &QEventLoop::quit);
            loop.exec();
        } else if (cmd == "key") {
            std::string name;
            in >> name;
            const std::string key = Rest(in);
            QWidget* target = ControlOrWindow(name);
            if (!target->isEnabled()) throw Failure{name + " is disabled"};
            const auto k = ParseKey(key);
            if (!k) throw Failure{"unknown key " + key};
            if (!target->isWindow()) GiveFocus(target);
            SendKey(target, *k);
        } else if (cmd == "type") {
            std::string name;
            in >> name;
            const QString text = QString::fromStdString(Rest(in));
            auto* target = qobject_cast<QWidget*>(Find(name));
            if (!target) throw Failure{name + " cannot take keys"};
            if (!target->isEnabled()) throw Failure{name + " is disabled"};
            GiveFocus(target);
            for (const QChar c : text) {
                const int code = c.isLetter() ? c.toUpper().unicode() : c.unicode();
                SendKey(target, KeySpec{code, QString(c), Qt::NoModifier});
            }
        } else if (cmd == "leave") {
            const std::string name = Rest(in);
            auto* target = qobject_cast<QWidget*>(Find(name));
            if (!target) throw Failure{name + " cannot take the focus"};
            if (focused_ == target) focused_ = nullptr;
            QFocusEvent out(QEvent::FocusOut, Qt::TabFocusReason);
            QCoreApplication::sendEvent(target, &out);
            QCoreApplication::processEvents();
        } else if (cmd == "answer-text") {
            dialogs_.textAnswers.push_back(Rest(in));
        } else if (cmd == "answer-folder") {
            dialogs_.folderAnswers.push_back(Rest(in));
        } else if (cmd == "clipboard-set") {
            const std::string path = Rest(in);
            if (fileio::ExtractFileExt(path) == ".png") {
                QImage picture(QString::fromStdString(path));
                if (picture.isNull()) throw Failure{"cannot read the picture " + path};
                dialogs_.clipboardImage = picture;
            } else {
                std::string text, error;
                if (!fileio::ReadFile(path, text, error)) throw Failure{error};
                dialogs_.clipboardText = text;
            }
        } else if (cmd == "capture-device") {
            std::string kind, name, format, url;
            in >> kind >> name;
            if ((kind != "video" && kind != "audio") || name.empty() || !capture::ParseDeviceInput(Rest(in), format, url))
                throw Failure{"usage: capture-device video|audio NAME FORMAT:URL"};
            capture::AddTestDevice(kind == "video", name, format, url);
        } else if (cmd == "expect-clipboard") {
            const std::string want = Rest(in), got = Bars(dialogs_.ClipboardText());
            if (got != want) throw Failure{"clipboard is \"" + got + "\""};
        } else if (cmd == "print-row") {
            std::printf("%s\n", Row(Int(Rest(in))).c_str());
        } else if (cmd == "print-errors") {
            const auto errors = dialogs_.Texts("error");
            std::string last = errors.empty() ? "" : errors.back();
            for (auto& c : last)
                if (c == '\r' || c == '\n') c = '|';
            std::printf("errors=%zu %s\n", errors.size(), last.c_str());
        } else if (cmd == "stop-at") {
            // Connected after the window's own handler: frame N has been processed.
            const int n = Int(Rest(in));
            auto once = std::make_shared<QMetaObject::Connection>();
            *once = QObject::connect(w.ScrollBar1, &QScrollBar::valueChanged, &w, [&w, n, once](int v) {
                if (v != n) return;
                QObject::disconnect(*once);
                if (w.State.RecordingFlag) w.StopMeasurement();
                else w.SpeedButton2Click();
            });
        } else {
            throw Failure{"unknown command"};
        }
    }

private:
    const std::string& Row(int row) {
        const size_t i = static_cast<size_t>(DetectResultsFormat(window_->Table).headerLines + row - 1);
        if (row < 1 || i >= window_->Table.Count()) throw Failure{"no data row " + std::to_string(row)};
        return window_->Table[i];
    }

    void WaitForTimer() {
        QElapsedTimer clock;
        clock.start();
        while (window_->Timer1->isActive()) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
            if (clock.elapsed() > 600000) throw Failure{"the timer did not stop"};
        }
        QCoreApplication::processEvents();
    }

    // The 3-D view's variables exist while it is open.
    static TThreeDGraph& ThreeDView(const std::string& name) {
        if (!ThreeDGraph) throw Failure{name + ": the 3-D view is not open"};
        return *ThreeDGraph;
    }

    std::string Var(const std::string& name) {
        TPlatform& w = *window_;
        const MeasureState& s = w.State;
        const auto n = [](long v) { return std::to_string(v); };
        if (name == "DshowStepLog") {
            std::string log;
            for (int i = 0; i <= DshowStepLogIndex && i < kDshowStepLogLines; ++i) log += DshowStepLog[i] + "|";
            return log;
        }
        const size_t open = name.find('[');
        if (open != std::string::npos) {
            const std::string base = name.substr(0, open);
            const int k = Int(name.substr(open + 1, name.size() - open - 2));
            if (k < 1 || k > 3 || name.back() != ']') throw Failure{"object 1..3: " + name};
            const DataLineObject& o = s.FrameObject(k);
            const auto points = [&](const FramePoint* p, int count) {
                std::string t;
                for (int i = 0; i < count; ++i)
                    t += (i ? "," : "") + n(p[i].frame) + "," + n(p[i].x) + "," + n(p[i].y);
                return t;
            };
            if (base == "BkgShape") return n(o.BkgShape);
            if (base == "TrackMode") return n(o.TrackMode);
            if (base == "LostPercent") return n(w.Tracking.LostPercent[k]);
            if (base == "RectangleWidth") return n(s.RectangleWidth[k]);
            if (base == "RectangleHeight") return n(s.RectangleHeight[k]);
            if (base == "SpinPoint") return n(s.SpinPoint[k].x) + "," + n(s.SpinPoint[k].y);
            if (base == "TrackRef") return points(&s.TrackRefPoints[k][1], 2);
            if (base == "LinkRef") return points(&s.LinkRefPoints[k][0], 2);
            if (base == "AperturePixels") return n(o.AperturePixels);
            throw Failure{"no variable " + name};
        }
        const std::map<std::string, std::function<long()>> vars = {
            {"DirectShowSelected", [&] { return s.DirectShowSelected; }},
            {"ReaderKind", [&] { return s.ReaderKind; }},
            {"UseAviSynth", [&] { return s.UseAviSynth; }},
            {"CsvFolderFollowsVideo", [&] { return s.CsvFolderFollowsVideo; }},
            {"TimeInserterType", [&] { return s.TimeInserterType; }},
            {"OverlayGridLocated", [&] { return s.OverlayGridLocated; }},
            {"TIViReading", [&] { return s.TIViReading; }},
            {"OverlayTimeReading", [&] { return s.OverlayTimeReading; }},
            {"OverlayThreshold", [&] { return w.OverlayThreshold; }},
            {"DirectionMode", [&] { return s.DirectionMode; }},
            {"FieldViewShown", [&] { return w.FieldViewShown; }},
            {"Timer1Interval", [&] { return w.Timer1->interval(); }},
            {"CutBkgUpper", [&] { return w.Masks.CutBkgUpper; }},
            {"CutBkgLower", [&] { return w.Masks.CutBkgLower; }},
            {"SignalBoxesEnabled", [&] { return s.SignalBoxesEnabled; }},
            {"MeasurementRegionDisplay", [&] { return w.MeasurementRegionDisplay; }},
            {"AutoDirectionEnabled", [&] { return w.AutoDirectionEnabled; }},
            {"SaturationLimit", [&] { return w.SaturationLimit; }},
            {"InitialPeak", [&] { return w.InitialPeak; }},
            {"MeasurePeakPixel", [&] { return s.MeasurePeakPixel; }},
            {"SubtractBackground", [&] { return w.Photometry.SubtractBackground; }},
            {"EasyClick", [&] { return w.EasyClick; }},
            {"ThreeDTilt", [&] { return std::lround(ThreeDView(name).ThreeDTilt); }},
            {"ThreeDTurn", [&] { return std::lround(ThreeDView(name).ThreeDTurn); }},
            {"ThreeDScale", [&] { return long(ThreeDView(name).ThreeDScale); }},
        };
        auto it = vars.find(name);
        if (it == vars.end()) throw Failure{"no variable " + name};
        return n(it->second());
    }

    // A command's own file answer does not outlive it: when the program asked for
    // no file (a refusal, a "No"), the answer is withdrawn.
    template <typename Click>
    void WithFileAnswer(const std::string& path, Click click) {
        const size_t queued = dialogs_.fileAnswers.size();
        dialogs_.fileAnswers.push_back(path);
        click();
        if (dialogs_.fileAnswers.size() > queued) dialogs_.fileAnswers.pop_back();
    }

    static bool IsPlainName(const std::string& word) {
        if (word.empty()) return false;
        for (char c : word)
            if (!std::isalnum(static_cast<unsigned char>(c)) && c != '_') return false;
        return true;
    }

    template <typename Done>
    void WaitUntil(Done done, const char* failure) {
        QElapsedTimer clock;
        clock.start();
        while (!done()) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
            if (clock.elapsed() > 300000) throw Failure{failure};
        }
        QCoreApplication::processEvents();
    }

    struct KeySpec {
        int key;
        QString text;
        Qt::KeyboardModifiers modifiers;
    };

    static std::optional<KeySpec> ParseKey(std::string name) {
        Qt::KeyboardModifiers modifiers = Qt::NoModifier;
        const auto lower = [](std::string t) {
            for (auto& c : t) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
            return t;
        };
        for (bool more = true; more && name.size() > 1;) {
            more = false;
            for (const auto& [prefix, m] : {std::pair{"ctrl+", Qt::ControlModifier}, std::pair{"shift+", Qt::ShiftModifier},
                                            std::pair{"alt+", Qt::AltModifier}})
                if (lower(name.substr(0, std::strlen(prefix))) == prefix && name.size() > std::strlen(prefix)) {
                    modifiers |= m;
                    name = name.substr(std::strlen(prefix));
                    more = true;
                }
        }
        const bool plain = !(modifiers & (Qt::ControlModifier | Qt::AltModifier));
        const QString named = QString::fromStdString(name);
        if (named.size() == 1) {
            const QChar c = named[0];
            return KeySpec{c.isLetter() ? c.toUpper().unicode() : c.unicode(), plain ? named : QString(), modifiers};
        }
        static const std::map<std::string, std::pair<int, const char*>> keys = {
            {"enter", {Qt::Key_Return, "\r"}}, {"return", {Qt::Key_Return, "\r"}}, {"escape", {Qt::Key_Escape, "\x1b"}},
            {"esc", {Qt::Key_Escape, "\x1b"}}, {"tab", {Qt::Key_Tab, "\t"}},        {"backspace", {Qt::Key_Backspace, "\b"}},
            {"delete", {Qt::Key_Delete, ""}},   {"space", {Qt::Key_Space, " "}},      {"up", {Qt::Key_Up, ""}},
            {"down", {Qt::Key_Down, ""}},       {"left", {Qt::Key_Left, ""}},         {"right", {Qt::Key_Right, ""}},
            {"home", {Qt::Key_Home, ""}},       {"end", {Qt::Key_End, ""}},           {"pageup", {Qt::Key_PageUp, ""}},
            {"pagedown", {Qt::Key_PageDown, ""}}, {"insert", {Qt::Key_Insert, ""}},
        };
        const std::string l = lower(name);
        if (auto it = keys.find(l); it != keys.end())
            return KeySpec{it->second.first, plain ? QString(it->second.second) : QString(), modifiers};
        if (l.size() >= 2 && l[0] == 'f') {
            auto n = numtext::ParseInt32(l.substr(1));
            if (n && *n >= 1 && *n <= 12) return KeySpec{Qt::Key_F1 + *n - 1, QString(), modifiers};
        }
        return std::nullopt;
    }

    static void SendKey(QWidget* target, const KeySpec& k) {
        QPointer<QWidget> alive = target;
        QKeyEvent press(QEvent::KeyPress, k.key, k.modifiers, k.text);
        QCoreApplication::sendEvent(target, &press);
        if (alive) {
            QKeyEvent release(QEvent::KeyRelease, k.key, k.modifiers, k.text);
            QCoreApplication::sendEvent(target, &release);
        }
        QCoreApplication::processEvents();
    }

    // The control a user tabs into before typing (an edit's text selected, so
    // that typing replaces it); the one that had the focus loses it first.
    void GiveFocus(QWidget* control) {
        if (focused_ == control) return;
        LeaveFocus();
        focused_ = control;
        QFocusEvent in(QEvent::FocusIn, Qt::TabFocusReason);
        QCoreApplication::sendEvent(control, &in);
        QCoreApplication::processEvents();
        // The window keeps its own focus widget, whose events may have reset the
        // selection the Tab key made.
        if (auto* e = qobject_cast<QLineEdit*>(control)) e->selectAll();
    }

    void LeaveFocus() {
        QWidget* f = focused_;
        focused_ = nullptr;
        if (!f) return;
        QFocusEvent out(QEvent::FocusOut, Qt::TabFocusReason);
        QCoreApplication::sendEvent(f, &out);
        QCoreApplication::processEvents();
    }

    // A control of the current window (or WINDOW.CONTROL), else an open window.
    QWidget* ControlOrWindow(const std::string& name) {
        try {
            if (auto* w = qobject_cast<QWidget*>(Find(name))) return w;
            throw Failure{name + " cannot take keys"};
        } catch (const Failure&) {
            if (name.find('.') != std::string::npos) throw;
            for (QWidget* top : QApplication::topLevelWidgets())
                if (top->isVisible() && top->objectName().toStdString() == name) return top;
            if (name == "main") return window_.get();
            throw;
        }
    }

    // A window by its variable name ("main" is the main window).
    QWidget* Window(const std::string& name) {
        if (name.empty() || name == "main") return window_.get();
        for (QWidget* top : QApplication::topLevelWidgets())
            if (top->isVisible() && top->objectName().toStdString() == name) return top;
        throw Failure{"window " + name + " is not open"};
    }

    // CONTROL of the current window, or WINDOW.CONTROL.
    QObject* Find(const std::string& name) {
        const size_t dot = name.find('.');
        QWidget* owner = Window(dot == std::string::npos ? current_ : name.substr(0, dot));
        const std::string control = dot == std::string::npos ? name : name.substr(dot + 1);
        QObject* o = owner->findChild<QObject*>(QString::fromStdString(control));
        if (!o) throw Failure{"no control " + name};
        return o;
    }

    void Press(const std::string& name) {
        QObject* o = Find(name);
        if (auto* b = qobject_cast<QAbstractButton*>(o)) {
            if (!b->isEnabled()) throw Failure{name + " is disabled"};
            // A click on a button that takes the focus ends the edit being typed in.
            if (focused_ && focused_ != b && (b->focusPolicy() & Qt::ClickFocus) == Qt::ClickFocus) LeaveFocus();
            b->click();
        } else if (auto* a = qobject_cast<QAction*>(o)) {
            if (!a->isEnabled()) throw Failure{name + " is disabled"};
            a->trigger();
        } else {
            throw Failure{"cannot press " + name};
        }
        QCoreApplication::processEvents();
    }

    void PrintGraph() {
        if (!chart1) throw Failure{"the graph window is not open"};
        const GraphView& g = Graph;
        auto real = [](double v) {
            char buf[40];
            std::snprintf(buf, sizeof buf, "%.17g", v);
            return std::string(buf);
        };
        std::printf("GraphMin=%s GraphMax=%s YScale=%s YOffset=%s XScale=%s XScaleBase=%s FirstShownFrame=%d "
                    "ShownFrameCount=%d DataRowCount=%d SelectedFrame=%d FieldMode=%d EntireView=%d Scroll=%d,%d "
                    "Markers=%d,%d,%d,%d,%d,%d\n",
                    real(g.GraphMin).c_str(), real(g.GraphMax).c_str(), real(g.YScale).c_str(), real(g.YOffset).c_str(),
                    real(g.XScale).c_str(), real(g.XScaleBase).c_str(), g.FirstShownFrame, g.ShownFrameCount,
                    g.DataRowCount, g.SelectedFrame, g.FieldMode, g.EntireView, chart1->ScrollBar1->value(),
                    chart1->ScrollBar1->maximum(), g.SelectedMarkerX[1], g.SelectedMarkerY[1], g.SelectedMarkerX[2],
                    g.SelectedMarkerY[2], g.SelectedMarkerX[3], g.SelectedMarkerY[3]);
    }

    std::string Text(const std::string& name) {
        QObject* o = Find(name);
        if (auto* e = qobject_cast<QLineEdit*>(o)) return e->text().toStdString();
        if (auto* b = qobject_cast<QAbstractButton*>(o)) return b->text().toStdString();
        if (auto* c = qobject_cast<QComboBox*>(o)) return c->currentText().toStdString();
        if (auto* u = qobject_cast<TUpDown*>(o)) return std::to_string(u->Position());
        if (auto* s = qobject_cast<QScrollBar*>(o)) return std::to_string(s->value());
        if (auto* a = qobject_cast<QAction*>(o)) return a->text().toStdString();
        if (auto* l = qobject_cast<QLabel*>(o)) return l->text().toStdString();
        if (auto* g = qobject_cast<QGroupBox*>(o)) return g->title().toStdString();
        if (auto* t = qobject_cast<QTabWidget*>(o)) return std::to_string(t->currentIndex());
        if (auto* b = qobject_cast<QAbstractSlider*>(o)) return std::to_string(b->value());
        if (auto* m = qobject_cast<TMemo*>(o)) {
            const ResultsTable* t = MemoTable(m);
            if (!t) throw Failure{name + " has no lines"};
            std::string lines;
            for (size_t i = 0; i < t->Count(); ++i) lines += (i ? "|" : "") + (*t)[i];
            return lines;
        }
        if (auto* m = qobject_cast<QPlainTextEdit*>(o)) return m->toPlainText().replace('\n', '|').toStdString();
        if (auto* l = qobject_cast<QListWidget*>(o)) {
            QStringList rows;
            for (int i = 0; i < l->count(); ++i) rows << l->item(i)->text();
            return rows.join('|').toStdString();
        }
        throw Failure{name + " has no text"};
    }

    void Set(const std::string& name, const std::string& value) {
        QObject* o = Find(name);
        if (auto* u = qobject_cast<TUpDown*>(o)) u->SetPositionByUser(Int(value));
        else if (auto* g = qobject_cast<TRadioGroup*>(o)) g->SelectByUser(Int(value));
        else if (auto* r = qobject_cast<QRadioButton*>(o)) {
            // Checking is a user's click (clicked and toggled); a disabled button only changes state.
            if (r->isChecked() != (value != "0")) {
                if (r->isEnabled() && value != "0") r->click();
                else r->setChecked(value != "0");
            }
        } else if (auto* c = qobject_cast<QCheckBox*>(o)) {
            // A change is a user's click (clicked and toggled); a disabled box only changes state.
            if (c->isChecked() != (value != "0")) {
                if (c->isEnabled()) c->click();
                else c->setChecked(value != "0");
            }
        }
        else if (auto* b = qobject_cast<QComboBox*>(o)) {
            b->setCurrentIndex(Int(value));
            emit b->activated(Int(value));
        } else if (auto* e = qobject_cast<QLineEdit*>(o)) {
            // Typed over and confirmed with Enter.
            e->setText(QString::fromStdString(value));
            emit e->textEdited(e->text());
            EnterIn(e);
        } else if (auto* s = qobject_cast<QAbstractSlider*>(o)) s->setValue(Int(value));
        else if (auto* t = qobject_cast<QTabWidget*>(o)) {
            const int page = Int(value);
            if (page < 0 || page >= t->count()) throw Failure{name + " has no page " + value};
            t->setCurrentIndex(page);
        } else if (auto* a = qobject_cast<QAction*>(o)) {
            // A checkable item is clicked when its state is to change, as a user would.
            if (!a->isCheckable() || a->isChecked() != (value != "0")) a->trigger();
        } else throw Failure{"cannot set " + name};
        QCoreApplication::processEvents();
    }

    // Enter pressed in an edit and kept there: the edit's own handlers run (its
    // return and editing-finished signals, its key filters), a dialog's default
    // button is not pressed.
    static void EnterIn(QLineEdit* edit) {
        struct Confine : QObject {
            QObject* edit = nullptr;
            bool eventFilter(QObject* to, QEvent* e) override {
                return to != edit && (e->type() == QEvent::KeyPress || e->type() == QEvent::KeyRelease);
            }
        } confine;
        confine.edit = edit;
        qApp->installEventFilter(&confine);
        QPointer<QLineEdit> alive = edit;
        QKeyEvent press(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier, "\r");
        QCoreApplication::sendEvent(edit, &press);
        if (alive) {
            QKeyEvent release(QEvent::KeyRelease, Qt::Key_Return, Qt::NoModifier, "\r");
            QCoreApplication::sendEvent(edit, &release);
        }
        qApp->removeEventFilter(&confine);
    }

    // The lines behind one of the main window's memos.
    const ResultsTable* MemoTable(const TMemo* m) const {
        return m == window_->Memo1   ? &window_->Table
               : m == window_->Memo2 ? &window_->Memo2Table
               : m == window_->Memo3 ? &window_->Memo3Table
                                     : nullptr;
    }

    void DumpFrame(int n, const std::string& path) {
        Bitmap24 frame;
        std::string status;
        if (!window_->FetchFrame(n, frame, status)) throw Failure{"cannot fetch frame " + std::to_string(n) + " " + status};
        std::ofstream f(path, std::ios::binary);
        f << "P6\n" << frame.Width() << " " << frame.Height() << "\n255\n";
        std::vector<char> row(static_cast<size_t>(frame.Width()) * 3);
        for (int y = 0; y < frame.Height(); ++y) {
            const uint8_t* p = frame.Scanline(y);
            for (int x = 0; x < frame.Width(); ++x) {
                row[static_cast<size_t>(3 * x)] = static_cast<char>(p[3 * x + 2]);
                row[static_cast<size_t>(3 * x + 1)] = static_cast<char>(p[3 * x + 1]);
                row[static_cast<size_t>(3 * x + 2)] = static_cast<char>(p[3 * x]);
            }
            f.write(row.data(), static_cast<std::streamsize>(row.size()));
        }
        if (!f) throw Failure{"cannot write " + path};
    }

    ScriptedDialogs dialogs_;
    std::vector<platform::ShellRequest> shell_;  // before window_: it outlives the windows
    std::unique_ptr<TPlatform> window_;
    std::string current_ = "main";
    QPointer<QWidget> focused_;  // the control "type" or "key" clicked into
};

}  // namespace

int main(int argc, char** argv) {
    testutil::PrepareQtTestEnvironment();
    platform::PrepareWebEngine();
    // Runs see the capture devices their scripts offer, whatever the machine has.
    setenv("TEVORIN_CAPTURE_SYSTEM_DEVICES", "0", 1);
    QApplication app(argc, argv);
    ShowEditTextFromStart(app);
    // Browser windows reach only this machine in harness runs.
    web::SetBrowsersLocalOnly(true);
    if (argc != 2) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    std::ifstream script(argv[1]);
    if (!script) {
        std::fprintf(stderr, "tevorin-harness: cannot read %s\n", argv[1]);
        return 2;
    }
    std::string folder = fileio::ExtractFilePath(argv[1]);
    SetSettingsFilePath((folder.empty() ? std::string("./") : folder) + "tevorin-harness.ini");
    Harness h;
    std::string line;
    int number = 0;
    while (std::getline(script, line)) {
        ++number;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty() || line[0] == '#') continue;
        try {
            h.Run(line);
            std::printf("ok %d %s\n", number, line.c_str());
        } catch (const Failure& f) {
            std::printf("FAIL %d %s: %s\n", number, line.c_str(), f.message.c_str());
            return 1;
        }
    }
    return 0;
}
