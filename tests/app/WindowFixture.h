// The real window, shown on Qt's offscreen platform, with a chosen list of serial ports
// standing in for the machine's.
#pragma once

#include "ErrorBoxCatcher.h"
#include "F_Duble.h"
#include "registry_linux.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QString>

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <ostream>

// Readable failure messages for Qt texts.
inline void PrintTo(const QString& Text, std::ostream* Out) {
    *Out << '"' << Text.toStdString() << '"';
}

class WindowTest : public ::testing::Test {
  protected:
    using PortList = std::optional<winapi_linux::SerialDeviceList>;

    // Makes the window and shows it; FormShow runs and fills the port box from Ports
    // (std::nullopt: the registry key is missing).
    void ShowWindow(const PortList& Ports = winapi_linux::SerialDeviceList{});

    template <class T> T* Control(const char* Name) const {
        T* control = form->findChild<T*>(Name);
        EXPECT_NE(control, nullptr) << Name;
        return control;
    }
    QComboBox* PortBox() const { return Control<QComboBox>("ComboBox1"); }
    QComboBox* RateBox() const { return Control<QComboBox>("ComboBox2"); }
    QAbstractButton* Button(const char* Name) const { return Control<QAbstractButton>(Name); }

    // Replaces the text of an editable box by typing, as a user would.
    static void TypeInto(QComboBox* Box, const QString& Text);
    static void Click(QAbstractButton* Button);

    // The buttons and the caption of the connected or the disconnected state.
    void ExpectConnectedState(const QString& Caption) const;
    void ExpectDisconnectedState() const;

    // Declared first so that it outlives the window: it catches boxes up to the end.
    ErrorBoxCatcher boxes;
    winapi_linux::ScopedRegistryReset registryReset;
    std::unique_ptr<TForm1> form;
};

// The title every error box carries: the name of this test program.
inline const QString ErrorBoxTitle = QStringLiteral("app_tests");

// Checks one caught box: the error icon, the program's title and the text.
void ExpectErrorBox(const std::optional<CaughtBox>& Box, const QString& Text);
