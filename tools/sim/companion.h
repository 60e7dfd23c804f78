// The companion application's window, which the library looks for by class
// before it starts a session. The simulator shows it while it serves.
#pragma once

#include <memory>
#include <string>

namespace sim {

inline constexpr char16_t kCompanionClass[] = u"4E5A9108-03C6-432E-A844-176AB58BA406LMVX";

class CompanionWindow {
public:
    virtual ~CompanionWindow() = default;
    // Shows the window of class `className`; false when it cannot.
    virtual bool Show(const std::u16string& className) = 0;
    virtual void Hide() = 0;
};

std::unique_ptr<CompanionWindow> CreateCompanionWindow();

}  // namespace sim
