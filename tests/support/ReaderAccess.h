// Test-only access to a reader's private state and a scripted decoder.
#ifndef TIFFVIEW_TESTS_READERACCESS_H
#define TIFFVIEW_TESTS_READERACCESS_H

#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "TiffView.h"
#include "decoder/TiffDecoder.h"

// A decoder whose every Decode call follows a script: each step says how
// many input bytes to consume (clamped to the input) and how many bytes to
// produce. Produced bytes are numbered 1, 2, 3, ... (mod 256) so tests can
// tell which were delivered, discarded or zero-filled.
class CScriptedDecoder : public CTiffDecoder {
public:
    struct Step {
        std::uint32_t consume;  // UINT32_MAX: the whole input
        std::uint32_t produce;
        bool fail = false;
    };
    std::deque<Step> Script;
    // Once the script is used up: consume everything, produce nothing.
    std::vector<std::uint8_t> Pending;
    std::uint32_t LineSize = 0;
    std::int32_t Invert = 0;
    std::uint8_t NextByte = 1;
    int Resets = 0;
    int DecodeCalls = 0;
    std::vector<std::uint32_t> Discards;
    std::vector<std::uint32_t> Wanted;

    void Reset() override { ++Resets; }
    void SetInvert(std::int32_t invert) override { Invert = invert; }
    int SetWidth(std::uint32_t width) override {
        LineSize = (width + 7) / 8;
        return 1;
    }
    int Decode(const std::uint8_t*, std::uint32_t inputLength, std::uint32_t& consumed, std::uint32_t wanted,
               std::uint32_t& produced) override {
        ++DecodeCalls;
        Wanted.push_back(wanted);
        Step step{UINT32_MAX, 0};
        if (!Script.empty()) {
            step = Script.front();
            Script.pop_front();
        }
        if (step.fail) return 0;
        consumed = step.consume > inputLength ? inputLength : step.consume;
        produced = step.produce;
        for (std::uint32_t i = 0; i < step.produce; ++i) Pending.push_back(NextByte++);
        return 1;
    }
    std::uint32_t GetLine(std::uint8_t* line) override {
        std::uint32_t n = Pending.size() < LineSize ? static_cast<std::uint32_t>(Pending.size()) : LineSize;
        for (std::uint32_t i = 0; i < n; ++i) line[i] = Invert == 1 ? static_cast<std::uint8_t>(~Pending[i]) : Pending[i];
        Pending.erase(Pending.begin(), Pending.begin() + n);
        return n;
    }
    // Drops the newest bytes, as a strip's surplus is the newest output.
    void Discard(std::uint32_t count) override {
        Discards.push_back(count);
        std::uint32_t n = count < Pending.size() ? count : static_cast<std::uint32_t>(Pending.size());
        Pending.erase(Pending.end() - n, Pending.end());
    }
};

// Reaches into a reader for white-box tests.
class CTiffViewTestAccess {
public:
    // Replaces the reader's decoder (the reader takes ownership). Call after
    // a successful OpenFile; the new decoder gets SetWidth, not Reset.
    static void SwapDecoder(CTiffView& view, CTiffDecoder* decoder) {
        delete view.Decoder;
        view.Decoder = decoder;
        decoder->SetInvert(view.PhotometricInterpretation == 1 ? 1 : 0);
        decoder->SetWidth(view.Width);
    }
    static CTiffDecoder* Decoder(CTiffView& view) { return view.Decoder; }
    static std::string LogPath(CTiffView& view) {
        std::string path;
        view.GetLogPath(path);
        return path;
    }
    static void CreateSaveDir(CTiffView& view, std::string& path) { view.CreateSaveDir(path); }

    struct State {
        std::int32_t FileHandle;
        std::uint16_t IFDNum, IFDSize;
        std::uint32_t LineByte, StripByte, PackedByte, MaxStripByte, BlockSize, StripsRead, StripOffset;
        std::int32_t Complete;
        std::uint32_t LineCount, BufferedByte, UnpackedByte, BlockPos, StripUnpackByte, BlockEnd;
        std::int32_t LogPending;
        std::uint32_t CurStrip, CurLine, UnuseByte;
        std::int32_t UnpackDiff;
        std::uint32_t ErrorID;
        std::uint32_t StripsPerImage, RowsPerStrip;
        std::uint16_t FillOrder, ResolutionUnit, PlanarConfiguration, Predictor;
        std::uint32_t T4Options, T6Options;
        std::vector<std::uint32_t> StripOffsets, StripByteCounts;
    };
    static State Snapshot(const CTiffView& v) {
        return State{v.FileHandle,     v.IFDNum,        v.IFDSize,      v.LineByte,     v.StripByte,
                     v.PackedByte,     v.MaxStripByte,  v.BlockSize,    v.StripsRead,   v.StripOffset,
                     v.Complete,       v.LineCount,     v.BufferedByte, v.UnpackedByte, v.BlockPos,
                     v.StripUnpackByte, v.BlockEnd,     v.LogPending,   v.CurStrip,     v.CurLine,
                     v.UnuseByte,      v.UnpackDiff,    v.ErrorID,      v.StripsPerImage, v.RowsPerStrip,
                     v.FillOrder,      v.ResolutionUnit, v.PlanarConfiguration, v.Predictor, v.T4Options,
                     v.T6Options,      v.StripOffsets,  v.StripByteCounts};
    }
};

#endif
