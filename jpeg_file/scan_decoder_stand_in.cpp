// A stand-in until the scan decoder lands: libjpeg's coefficients only, and
// no decoding of our own (it says so). Removed when the decoder is merged.
#include "jpeg_file/scan_decoder.h"

#include <csetjmp>
#include <cstdio>

#include <jpeglib.h>

namespace quadrel::jpeg_file {

namespace {

struct ErrorManager {
    jpeg_error_mgr Base{};
    std::jmp_buf Jump{};
    std::vector<std::string>* Warnings = nullptr;
};

void OnError(j_common_ptr info) {
    std::longjmp(reinterpret_cast<ErrorManager*>(info->err)->Jump, 1);
}

void OnMessage(j_common_ptr info, int level) {
    if (level < 0) {
        auto* errors = reinterpret_cast<ErrorManager*>(info->err);
        std::array<char, JMSG_LENGTH_MAX> text{};
        (*info->err->format_message)(info, text.data());
        errors->Warnings->push_back(text.data());
    }
}

} // namespace

Result<ScanDecoding> DecodeSequentialScans(std::span<const std::uint8_t> /*bytes*/,
                                           const JpegFile& /*file*/,
                                           std::optional<BlockAddress> /*detail*/) {
    return Fail("The scan decoder is not in this build yet.");
}

Result<jpeg::CodedPicture> ReadStoredCoefficients(std::span<const std::uint8_t> bytes,
                                                  std::vector<std::string>& warnings) {
    jpeg_decompress_struct info{};
    ErrorManager errors;
    info.err = jpeg_std_error(&errors.Base);
    errors.Base.error_exit = OnError;
    errors.Base.emit_message = OnMessage;
    errors.Warnings = &warnings;
    jpeg::CodedPicture picture;
    if (setjmp(errors.Jump) != 0) {
        std::array<char, JMSG_LENGTH_MAX> text{};
        (*errors.Base.format_message)(reinterpret_cast<j_common_ptr>(&info), text.data());
        jpeg_destroy_decompress(&info);
        return Fail(text.data());
    }
    jpeg_create_decompress(&info);
    jpeg_mem_src(&info, bytes.data(), static_cast<unsigned long>(bytes.size()));
    jpeg_read_header(&info, TRUE);
    jvirt_barray_ptr* arrays = jpeg_read_coefficients(&info);
    picture.Width = static_cast<int>(info.image_width);
    picture.Height = static_cast<int>(info.image_height);
    for (int t = 0; t < NUM_QUANT_TBLS; ++t) {
        if (info.quant_tbl_ptrs[t] == nullptr) {
            break;
        }
        jpeg::QuantTable table{};
        for (int i = 0; i < 64; ++i) {
            table[static_cast<std::size_t>(i)] = info.quant_tbl_ptrs[t]->quantval[i];
        }
        picture.QuantTables.push_back(table);
    }
    for (int c = 0; c < info.num_components; ++c) {
        jpeg_component_info& ci = info.comp_info[c];
        jpeg::CodedComponent component;
        component.Id = ci.component_id;
        component.H = ci.h_samp_factor;
        component.V = ci.v_samp_factor;
        component.QuantTable = ci.quant_tbl_no;
        const auto across = static_cast<int>(
            (ci.width_in_blocks + ci.h_samp_factor - 1) / ci.h_samp_factor * ci.h_samp_factor);
        const auto down = static_cast<int>(
            (ci.height_in_blocks + ci.v_samp_factor - 1) / ci.v_samp_factor * ci.v_samp_factor);
        component.BlocksAcross = across;
        component.BlocksDown = down;
        component.Blocks.resize(static_cast<std::size_t>(across) * static_cast<std::size_t>(down));
        for (int y = 0; y < down; ++y) {
            JBLOCKARRAY row = (*info.mem->access_virt_barray)(
                reinterpret_cast<j_common_ptr>(&info), arrays[c], static_cast<JDIMENSION>(y), 1,
                FALSE);
            for (int x = 0; x < across; ++x) {
                for (int i = 0; i < 64; ++i) {
                    component.Blocks[static_cast<std::size_t>(y * across + x)]
                                    [static_cast<std::size_t>(i)] = row[0][x][i];
                }
            }
        }
        picture.Components.push_back(std::move(component));
    }
    jpeg_finish_decompress(&info);
    jpeg_destroy_decompress(&info);
    return picture;
}

} // namespace quadrel::jpeg_file
