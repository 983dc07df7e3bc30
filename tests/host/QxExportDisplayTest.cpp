// qx6export edit on a real X display: a private Xvfb server, the staged
// program run with DISPLAY pointing at it, and a small X client of the
// test that finds the dialog by its caption and closes it as a window
// manager's close button would (WM_DELETE_WINDOW). Every wait is bounded.
#include <gtest/gtest.h>
#include <poll.h>

#include <memory>

// Before the X headers, whose macros (Status, Bool) would break the host's names.
#include "tests/host/HostTestSupport.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>

namespace qx6 {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using host::test::Spawn;
using host::test::Stop;
using host::test::WaitFor;
using test::ReadFile;

constexpr const char* DialogCaption = "Quorvex 6 Flat File Configurations";

// A private X server on a display number it picks itself.
class XvfbServer {
 public:
  explicit XvfbServer(const std::string& logFolder) {
    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) return;
    pid_ = Spawn({"Xvfb", "-displayfd", std::to_string(fds[1]), "-screen", "0", "1280x1024x24", "-nolisten", "tcp"},
                 logFolder + "/xvfb.out", logFolder + "/xvfb.err", {}, fds[1]);
    close(fds[1]);
    // Xvfb writes the display number and a newline once it accepts clients.
    std::string number;
    char buffer[16];
    pollfd p{fds[0], POLLIN, 0};
    for (ssize_t n = 0; number.find('\n') == std::string::npos && poll(&p, 1, 20000) > 0 &&
                        (n = read(fds[0], buffer, sizeof buffer)) > 0;)
      number.append(buffer, static_cast<size_t>(n));
    close(fds[0]);
    if (number.find('\n') != std::string::npos) display_ = ":" + number.substr(0, number.find('\n'));
  }
  ~XvfbServer() { Stop(pid_); }
  const std::string& Display() const { return display_; }  // empty when it did not start

 private:
  pid_t pid_ = -1;
  std::string display_;
};

int IgnoreXError(Display*, XErrorEvent*) { return 0; }  // windows may vanish while we look

// The window's title (WM_NAME; the dialog's caption is plain ASCII).
std::string WindowTitle(Display* x, Window w) {
  char* name = nullptr;
  const std::string title = XFetchName(x, w, &name) && name ? name : "";
  if (name) XFree(name);
  return title;
}

// The mapped top-level window titled `title`, searched until `limit`.
std::optional<Window> FindWindow(Display* x, const std::string& title, std::chrono::milliseconds limit,
                                 pid_t owner) {
  const auto until = Clock::now() + limit;
  do {
    Window root = 0, parent = 0, *children = nullptr;
    unsigned int count = 0;
    std::optional<Window> found;
    if (XQueryTree(x, DefaultRootWindow(x), &root, &parent, &children, &count)) {
      for (unsigned int i = 0; i < count && !found; ++i) {
        XWindowAttributes attributes{};
        if (XGetWindowAttributes(x, children[i], &attributes) && attributes.map_state == IsViewable &&
            WindowTitle(x, children[i]) == title)
          found = children[i];
      }
      if (children) XFree(children);
    }
    if (found) return found;
    if (WaitFor(owner, 100ms)) return std::nullopt;  // the program ended without a window
  } while (Clock::now() < until);
  return std::nullopt;
}

// Asks `w` to close as a window manager's close button does (WM_DELETE_WINDOW);
// a window that does not take part stays open, which the wait for the program shows.
void RequestClose(Display* x, Window w) {
  XEvent event{.xclient = {.type = ClientMessage, .serial = 0, .send_event = False, .display = x, .window = w,
                            .message_type = XInternAtom(x, "WM_PROTOCOLS", False), .format = 32, .data = {}}};
  event.xclient.data.l[0] = static_cast<long>(XInternAtom(x, "WM_DELETE_WINDOW", False));
  event.xclient.data.l[1] = CurrentTime;
  XSendEvent(x, w, False, NoEventMask, &event);
  XFlush(x);
}

class QxExportOnX : public ::testing::Test {
 protected:
  void SetUp() override {
    server_ = std::make_unique<XvfbServer>(env.Root());
    ASSERT_FALSE(server_->Display().empty())
        << "Xvfb did not start (Debian package xvfb, which ./qx6 test installs): " << ReadFile(env.Root() + "/xvfb.err");
    XSetErrorHandler(IgnoreXError);
    x_ = XOpenDisplay(server_->Display().c_str());
    ASSERT_NE(x_, nullptr) << "cannot connect to " << server_->Display();
    ASSERT_EQ(host::test::RunQxExport(0, env.Root(), "register").status, 0);
  }
  void TearDown() override {
    Stop(program_);
    if (x_) XCloseDisplay(x_);
    server_.reset();
  }

  std::string Out() const { return env.Root() + "/stdout"; }
  std::string Err() const { return env.Root() + "/stderr"; }
  // Starts qx6export edit with `arguments` on the X server (Qt then uses xcb).
  void StartEdit(const std::vector<std::string>& arguments) {
    std::vector<std::string> argv{QX6_PRODUCT_DIR "/bin/qx6export", "edit"};
    argv.insert(argv.end(), arguments.begin(), arguments.end());
    program_ = Spawn(argv, Out(), Err(),
                     {{"DISPLAY", server_->Display()}, {"QT_QPA_PLATFORM", ""}, {"WAYLAND_DISPLAY", ""}});
  }
  // Closes the dialog from outside; then the program must end at once, and well.
  void CloseDialogAndWait() {
    const auto window = FindWindow(x_, DialogCaption, 30s, program_);
    ASSERT_TRUE(window) << "no window titled '" << DialogCaption << "'; stderr: " << ReadFile(Err());
    XWindowAttributes attributes{};
    XGetWindowAttributes(x_, *window, &attributes);
    EXPECT_TRUE(attributes.width >= 400 && attributes.height >= 300) << attributes.width << "x" << attributes.height;
    RequestClose(x_, *window);
    const auto status = WaitFor(program_, 20s);
    if (status) program_ = -1;
    EXPECT_EQ(status, std::optional<int>(0)) << "20 s after the dialog was asked to close; stderr: " << ReadFile(Err());
  }

  test::TestEnvironment env;
  std::unique_ptr<XvfbServer> server_;
  Display* x_ = nullptr;
  pid_t program_ = -1;
};

TEST_F(QxExportOnX, EditOpensTheDialogOnTheDisplayAndPrintsTheConfigurationHandedBack) {
  test::WriteFile(env.ConfigFolder() + "w.cfg", "<?xml version=\"1.0\"?>\r\n<root>\r\n<Name>Weekly</Name>\r\n");
  test::WriteFile(env.ConfigFolder() + "m.cfg", "<?xml version=\"1.0\"?>\r\n<root>\r\n<Name>Monthly</Name>\r\n");
  const std::string before = ReadFile(env.ConfigFolder() + "w.cfg");
  // Listed in the order of their files' names.
  ASSERT_EQ(host::test::RunQxExport(0, env.Root(), "list").out, "1\t<Default>\n2\tMonthly\n3\tWeekly\n");

  // By name, in other letter case: the dialog shows it and hands it back.
  StartEdit({"WEEKLY"});
  CloseDialogAndWait();
  EXPECT_EQ(ReadFile(Out()), "3\tWeekly\n");
  // Closing an unchanged dialog asks nothing and writes nothing.
  EXPECT_EQ(ReadFile(env.ConfigFolder() + "w.cfg"), before);

  // Without a configuration named, the first one is shown and handed back.
  StartEdit({});
  CloseDialogAndWait();
  EXPECT_EQ(ReadFile(Out()), "1\t<Default>\n");
}

}  // namespace
}  // namespace qx6
