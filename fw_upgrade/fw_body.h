// The multipart body as the CGI reads it: where the file's bytes begin and
// the form field's name. Pure functions over bytes with explicit lengths.
#pragma once

#include <cstddef>
#include <cstdint>

#include "fw_consts.h"

// The data start by the six rules, each tried over the text of the body (up
// to its first zero byte) in a fixed order. True with *start set when a rule
// matched; *start may lie anywhere up to a few bytes past the text.
bool find_data_start(const uint8_t* body, size_t len, size_t* start);

// As find_data_start, but true only when a whole image lies between the
// data start and the end of the body.
bool locate_image(const uint8_t* body, size_t len, size_t* start);

// The text between name=" and the next quotation mark of the body's text,
// cut to FW_NAME_MAX characters; empty when "name" is missing or no closing
// quotation mark follows. Returns the length stored.
size_t capture_field_name(const uint8_t* body, size_t len, char (&name)[FW_NAME_MAX + 1]);

// First occurrence of needle in hay[0, len), or -1.
long find_text(const uint8_t* hay, size_t len, const char* needle);
