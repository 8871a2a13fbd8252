// A settings window on the headless host, with every fake seam of the manager: what the
// manager's unit tests share.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "common/SharedObjects.h"
#include "manager/SettingsForm.h"
#include "platform/fake/FakeManager.h"
#include "platform/fake/FakeServices.h"
#include "support/RegistryValues.h"

namespace manager_test {

inline const std::string kWindows = "C:\\Windows";
inline const std::string kSystem = "C:\\Windows\\system32";
inline const std::string kKelvaneKey = "Software\\Brellcor\\Pemrose\\Kelvane";

// The records of the systems the shutdown list is decided by.
inline const OsVersionRecord kWindows95{4, 0, 950, 1, ""};
inline const OsVersionRecord kWindows98{4, 10, 2222, 1, " A "};
inline const OsVersionRecord kWindowsNT3{3, 51, 1057, 2, ""};
inline const OsVersionRecord kWindowsNT4{4, 0, 1381, 2, "Service Pack 6"};
inline const OsVersionRecord kWindows2000{5, 0, 2195, 2, ""};
inline const OsVersionRecord kWindows10{10, 0, 19045, 2, ""};
inline const OsVersionRecord kWindowsMe{4, 90, 3000, 1, ""};  // not recognised

class ManagerTest : public ::testing::Test {
  protected:
    ManagerTest() {
        seams.finder.AddFolder(kWindows);
        seams.finder.AddFolder(kSystem);
    }
    ~ManagerTest() override {
        window.reset();
        ReleaseSharedObjects();
    }

    // Creates the shared objects and shows the settings window, as the program's start
    // does.
    mgr::fMain& Open(mgr::ManagerServices* services = nullptr) {
        InitSharedObjects(fake.services);
        window = std::make_unique<mgr::fMain>(fake.host, services ? *services : seams.services);
        window->Show();
        return *window;
    }

    // A screen saver in a folder, with a description when one is given.
    void AddSaver(const std::string& path, const std::string& description = "") {
        seams.finder.AddFile(path);
        if (!description.empty()) seams.versions.AddDescription(path, description);
    }
    // The texts of a list, in display order.
    static std::vector<std::string> Texts(const Control& list) {
        std::vector<std::string> texts;
        for (int i = 0; i < list.ListCount(); ++i) texts.push_back(list.Item(i).text);
        return texts;
    }
    static std::vector<std::int32_t> Tags(const Control& list) {
        std::vector<std::int32_t> tags;
        for (int i = 0; i < list.ListCount(); ++i) tags.push_back(list.Item(i).tag);
        return tags;
    }
    // Clicks the button with this caption on the first loaded form of that name.
    void ClickCaption(const std::string& form, const std::string& caption) {
        Form* f = fake.host.FindForm(form);
        ASSERT_NE(f, nullptr) << form;
        for (const auto& c : f->Controls())
            if (c->Kind() == ControlKind::Button && c->Text() == caption && c->Visible()) {
                fake.host.Click(*c);
                return;
            }
        FAIL() << "no button " << caption << " on " << form;
    }
    std::optional<std::string> Stored(const char* name) const {
        return GetString(fake.registry, kOptionsKey, name);
    }
    std::optional<std::int32_t> StoredNumber(const char* name) const {
        return GetDword(fake.registry, kOptionsKey, name);
    }

    FakeServices fake{ProgramKind::Manager, "Somnivex Manager"};
    FakeManagerSeams seams{fake};
    std::unique_ptr<mgr::fMain> window;
};

}  // namespace manager_test
