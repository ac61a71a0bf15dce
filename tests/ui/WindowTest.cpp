#include "GuiTestSupport.h"
#include "app/TarnvaleApplication.h"
#include "ui/MainComponent.h"

#include <gtest/gtest.h>

TEST(Window, OpensCentredAtTheScreensSizeWithinItsLimits)
{
    TarnvaleApplication app;
    EXPECT_EQ(app.getApplicationName(), "Tarnvale");
    EXPECT_EQ(app.getApplicationVersion(), "1.0.1");
    EXPECT_TRUE(app.moreThanOneInstanceAllowed());

    app.initialise({});
    ASSERT_NE(app.mainWindow, nullptr);
    auto& window = *app.mainWindow;
    EXPECT_EQ(window.getName(), "Tarnvale");
    EXPECT_TRUE(window.isVisible());
    EXPECT_TRUE(window.isOnDesktop());
    EXPECT_TRUE(window.isUsingNativeTitleBar());
    EXPECT_TRUE(window.isResizable());
    EXPECT_NE(dynamic_cast<MainComponent*>(window.getContentComponent()), nullptr);
    EXPECT_EQ(window.getWidth(), 860);
    EXPECT_EQ(window.getHeight(), 587);

    const auto* limits = window.getConstrainer();
    ASSERT_NE(limits, nullptr);
    EXPECT_EQ(limits->getMinimumWidth(), 688);
    EXPECT_EQ(limits->getMinimumHeight(), 469);
    EXPECT_EQ(limits->getMaximumWidth(), 1720);
    EXPECT_EQ(limits->getMaximumHeight(), 1174);

    const auto area = juce::Desktop::getInstance().getDisplays().getDisplayForRect(window.getScreenBounds())->userArea;
    EXPECT_LE(std::abs(window.getScreenBounds().getCentreX() - area.getCentreX()), 1);
    EXPECT_LE(std::abs(window.getScreenBounds().getCentreY() - area.getCentreY()), 1);

    // A user's resize goes through the limits.
    for (const auto& [asked, expected] : { std::pair { juce::Point { 400, 300 }, juce::Point { 688, 469 } },
                                           std::pair { juce::Point { 3000, 2000 }, juce::Point { 1720, 1174 } } })
    {
        window.setBoundsConstrained(window.getBounds().withSize(asked.x, asked.y));
        EXPECT_EQ(window.getWidth(), expected.x);
        EXPECT_EQ(window.getHeight(), expected.y);
    }

    app.shutdown();
    EXPECT_EQ(app.mainWindow, nullptr);
}
