# One interface target carries the compiler settings every target of the project shares.
add_library(project_settings INTERFACE)

target_compile_options(project_settings INTERFACE -Wall -Wextra -Wpedantic -Wshadow)
target_compile_definitions(project_settings INTERFACE QT_NO_KEYWORDS POINTERHOLDER_TRANSITION=4)

if(WATERMARK_WERROR)
    target_compile_options(project_settings INTERFACE -Werror)
endif()

if(WATERMARK_SANITIZE)
    target_compile_options(project_settings INTERFACE
        -fsanitize=address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer)
    target_link_options(project_settings INTERFACE -fsanitize=address,undefined)
endif()

# ThreadSanitizer watches the batch pool's workers; it cannot share a process with AddressSanitizer.
if(WATERMARK_SANITIZE_THREAD)
    if(WATERMARK_SANITIZE)
        message(FATAL_ERROR "WATERMARK_SANITIZE_THREAD and WATERMARK_SANITIZE cannot be combined.")
    endif()
    target_compile_options(project_settings INTERFACE -fsanitize=thread -fno-omit-frame-pointer)
    target_link_options(project_settings INTERFACE -fsanitize=thread)
endif()
