#include "melodyfile/export_formats.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "common/messages.h"
#include "support/expect_error.h"

TEST(ExportFormats, AnEnsembleOfWhichNoVoiceSoundsIsRefusedAndNoFileWritten) {
    const MelodyTimeline melody = TimelineOf({{40, 500}});
    const std::vector<EnsembleVoice> none;
    const std::vector<EnsembleVoice> muted = {{.Melody = melody, .Mute = true},
                                              {.Melody = melody, .Mute = true}};
    const struct {
        const std::vector<EnsembleVoice>& voices;
        const char* message;
    } cases[] = {{none, msg::NoVoiceToSave}, {muted, msg::NoVoiceAudible}};
    const std::filesystem::path dir = std::filesystem::temp_directory_path();
    for (const ExportFormat& format : ExportFormats())
        for (const auto& c : cases) {
            const std::string path = (dir / ("sonavix-export-" + std::to_string(getpid()) +
                                             std::string(format.Endings[0])))
                                         .string();
            EXPECT_EQ(MessageOf<EInvalidInput>([&] {
                          format.WriteSeveral(path, {c.voices, 90, 0, 0}, {});
                      }),
                      c.message)
                << format.DialogTitle;
            EXPECT_FALSE(std::filesystem::exists(path));
        }
}
