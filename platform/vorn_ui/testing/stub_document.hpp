#pragma once
// A stand-in for the page document in vorn_ui's own tests: the Widget interface only passes documents through by
// reference, so the tests need an object to refer to, never its contents. (vorn_ui does not link page_doc; a test
// program that does must use the real page_doc::Document instead of this header.)

namespace page_doc {
class Document {};
}  // namespace page_doc
