#include "base/args.h"

#include "base/platform/platform.h"

namespace {

int32_t argument_count;
char** argument_values;
data_t table[ARGS_CAPACITY];

char executable_path[ARGS_PATH_CAPACITY];
data_t executable_directory;
data_t executable_name;

void record_executable_path(void) {
    uint32_t n = platform_module_path(executable_path, ARGS_PATH_CAPACITY);
    if (n >= ARGS_PATH_CAPACITY) {
        // Cut short, the path would name another file: it is left empty,
        // as a wrong directory is worse than none.
        for (uint32_t i = 0; i < ARGS_PATH_CAPACITY; ++i)
            executable_path[i] = 0;
        n = 0;
    }
    uint32_t directory = 0;
    for (uint32_t i = 0; i < n && executable_path[i]; ++i)
        if (executable_path[i] == '/' || executable_path[i] == '\\') directory = i + 1;
    uint32_t length = text_length(executable_path);
    executable_directory = data_make(directory, directory, executable_path);
    executable_name =
        data_make(length - directory, length - directory, executable_path + directory);
}

} // namespace

int args_init(int32_t count, char** values) {
    record_executable_path();
    // Compared unsigned after sign extension: a negative count is too large.
    if ((uint64_t)(int64_t)count > ARGS_CAPACITY) {
        argument_count = 0;
        argument_values = values;
        return 0;
    }
    argument_count = count;
    argument_values = values;
    for (int32_t i = 0; i < count; ++i) {
        uint32_t length = text_length(values[i]);
        table[i] = data_make((uint64_t)length + 1, length, values[i]);
    }
    for (uint32_t i = (uint32_t)count; i < ARGS_CAPACITY; ++i)
        table[i] = data_t{0, 0, nullptr};
    return 1;
}

uint32_t arg_find(const void* text, uint64_t length, uint32_t start) {
    data_t wanted = data_make(length, length, (void*)text);
    for (uint32_t i = start; i < (uint32_t)argument_count; ++i)
        if (data_equal(&table[i], &wanted)) return i;
    return 0;
}

uint32_t arg_present(data_t option, uint32_t start) {
    return arg_find(option.data, option.used, start);
}

data_t arg_value(data_t option, uint32_t* iterator) {
    return arg_value(option.data, option.used, iterator);
}

data_t arg_value(const void* text, uint64_t length, uint32_t* iterator) {
    uint32_t index = arg_find(text, length, iterator ? *iterator : 0);
    if (index == 0 || index + 1 >= (uint32_t)argument_count) return data_t{0, 0, nullptr};
    if (iterator) *iterator = index + 1;
    return table[index + 1];
}

void arg_mark_taken(const data_t* switches, uint32_t switch_count, const data_t* options,
                    uint32_t option_count, uint8_t taken[ARGS_CAPACITY]) {
    for (uint32_t i = 0; i < ARGS_CAPACITY; ++i)
        taken[i] = i == 0;
    for (uint32_t i = 1; i < (uint32_t)argument_count; ++i) {
        for (uint32_t k = 0; k < switch_count; ++k)
            if (data_equal(&table[i], &switches[k])) taken[i] = 1;
        for (uint32_t k = 0; k < option_count; ++k) {
            if (!data_equal(&table[i], &options[k])) continue;
            taken[i] = 1;
            if (i + 1 < (uint32_t)argument_count) taken[i + 1] = 1;
        }
    }
}

uint32_t arg_count(void) { return (uint32_t)argument_count; }

data_t arg_at(uint32_t index) {
    return index < (uint32_t)argument_count ? table[index] : data_t{0, 0, nullptr};
}

data_t arg_executable_path(void) {
    uint32_t length = text_length(executable_path);
    return data_make((uint64_t)length + 1, length, executable_path);
}

data_t arg_executable_directory(void) { return executable_directory; }
data_t arg_executable_name(void) { return executable_name; }
