#include "ResourceScript.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "dialogs/DialogTexts.h"

namespace nivexa::dialogs::test {
namespace {

std::string committedScript() {
  std::ifstream in(NIVEXA_DIALOG_RC);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

// The Windows templates and the GTK view come from the same models; the committed script must
// be what the models make now. NIVEXA_WRITE_RC=1 rewrites it.
TEST(ResourceScriptTest, CommittedTemplatesAreThoseOfTheModels) {
  const std::string script = resourceScript();
  if (std::getenv("NIVEXA_WRITE_RC") != nullptr) {
    std::ofstream(NIVEXA_DIALOG_RC) << script;
  }
  EXPECT_EQ(committedScript(), script) << "regenerate with NIVEXA_WRITE_RC=1";
}

TEST(ResourceScriptTest, EveryTemplateOfBothLanguagesWithItsTexts) {
  const std::string script = resourceScript();
  for (int id : {101, 102, 103, 104, 105, 106, 107, 108, 110, 111, 112, 113, 116, 117}) {
    EXPECT_NE(script.find("\n" + std::to_string(id) + " DIALOGEX"), std::string::npos) << id;
  }
  EXPECT_NE(script.find("294, 178\n"), std::string::npos) << "English analog frame";
  EXPECT_NE(script.find("294, 199\n"), std::string::npos) << "Japanese analog frame";
  // Labels of the text table, in both languages (combo entries and formats are set at run time).
  for (Text t : {Text::Property,     Text::Brightness,    Text::Sharpness,
                 Text::BayerMode,    Text::Once,          Text::AllFrames,
                 Text::Green2,       Text::BayerConvert,  Text::GlobalGain,
                 Text::ColourGainG2, Text::ExposureMsec,  Text::MirrorH,
                 Text::Peltier,      Text::ShortExposure, Text::ColourCompression,
                 Text::HEffective,   Text::WaitTime,      Text::Clock,
                 Text::Default,      Text::Apply}) {
    for (Language language : {Language::English, Language::Japanese}) {
      EXPECT_NE(script.find(std::string("\"") + text(t, language) + "\""), std::string::npos)
          << text(t, language);
    }
  }
}

}  // namespace
}  // namespace nivexa::dialogs::test

#include "FakeCameraPort.h"
#include "dialogs/AnalogDialog.h"
#include "dialogs/ImageDialog.h"
#include "dialogs/StreamDialog.h"

namespace nivexa::dialogs::test {
namespace {

TEST(ResourceChoiceTest, JapaneseTemplatesForJapaneseAndEnglishForAnyOther) {
  struct Expected {
    Language language;
    int32_t imageFrame, imagePage, grayPage, analogFrame, monoAnalogPage, colourAnalogPage,
        streamFrame;
  };
  for (const Expected& e : {Expected{Language::Japanese, 102, 103, 113, 104, 116, 105, 101},
                            Expected{Language::English, 108, 107, 112, 111, 117, 110, 106}}) {
    FakeCameraPort mono;
    mono.colour = false;
    FakeCameraPort colour;
    const ImageDialog image(mono, e.language);
    EXPECT_EQ(image.frameResource(), e.imageFrame);
    EXPECT_EQ(image.pages()[0].resource, e.imagePage);
    EXPECT_EQ(image.pages()[1].resource, e.grayPage);
    const AnalogDialog analog(mono, e.language);
    EXPECT_EQ(analog.frameResource(), e.analogFrame);
    EXPECT_EQ(analog.pages()[0].resource, e.monoAnalogPage);
    EXPECT_EQ(AnalogDialog(colour, e.language).pages()[0].resource, e.colourAnalogPage);
    EXPECT_EQ(StreamDialog(mono, e.language).frameResource(), e.streamFrame);
  }
  FakeCameraPort port;
  EXPECT_EQ(AnalogDialog(port, Language::Japanese).frameHeight(), 199);
  EXPECT_EQ(AnalogDialog(port, Language::English).frameHeight(), 178);
}

}  // namespace
}  // namespace nivexa::dialogs::test
