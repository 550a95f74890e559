#!/usr/bin/env python3
"""Tests of check_messages.py: which literals of a source are message
fragments, and that a fragment missing from the document fails the check
with its file and line.

Usage: check_messages_test.py
"""

import contextlib
import io
import os
import sys
import tempfile
import textwrap
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

import check_messages  # noqa: E402


class Tree:
    """A source root with one file under common/ and a document."""

    def __init__(self, source, document=""):
        self.directory = tempfile.TemporaryDirectory()
        self.root = self.directory.name
        os.makedirs(os.path.join(self.root, "common"))
        os.makedirs(os.path.join(self.root, "docs"))
        self.write("common/module.cpp", source)
        self.write("docs/troubleshooting.md", document)

    def write(self, path, text):
        with open(os.path.join(self.root, path), "w", encoding="utf-8") as f:
            f.write(textwrap.dedent(text))

    def fragments(self):
        return [fragment
                for _, _, fragment in check_messages.fragments(self.root)]

    def check(self):
        out = io.StringIO()
        with contextlib.redirect_stdout(out):
            code = check_messages.main(["check_messages.py", self.root])
        return code, out.getvalue()

    def close(self):
        self.directory.cleanup()


class FragmentsTest(unittest.TestCase):

    def fragments(self, source):
        tree = Tree(source)
        try:
            return tree.fragments()
        finally:
            tree.close()

    def test_literals_joined_by_the_compiler_are_one_fragment(self):
        self.assertEqual(
            self.fragments('''
                LOG(WARNING) << "Specifying an absolute filename "
                                "is deprecated";
                '''),
            ["Specifying an absolute filename is deprecated"])

    def test_each_literal_around_a_value_is_a_fragment(self):
        self.assertEqual(
            self.fragments('''
                return Error("Requested secret '" + name +
                             "' is not accessible from: " + space);
                '''),
            ["Requested secret '", "' is not accessible from:"])

    def test_comments_and_preprocessor_lines_are_not_read(self):
        self.assertEqual(
            self.fragments('''
                #include "common/a header file.hpp"
                // "A quoted text in a comment"
                /* "Another one in a block comment" */
                return Error("The only message here");
                '''),
            ["The only message here"])

    def test_a_quote_character_opens_no_string(self):
        self.assertEqual(
            self.fragments('''
                line->push_back('"'); line->push_back('\\'');
                return Error("Message after the quote characters");
                '''),
            ["Message after the quote characters"])

    def test_escapes_are_resolved_and_blanks_collapsed(self):
        self.assertEqual(
            self.fragments('''
                LOG(ERROR) << "HTTP body of the \\"answer\\":\\n" << body;
                '''),
            ['HTTP body of the "answer":'])

    def test_short_identifier_and_punctuation_literals_are_skipped(self):
        self.assertEqual(
            self.fragments('''
                return Error(name + "': " + "LIBPROCESS_SSL_CA_FILE" +
                             "acs/api/v1/auth/jwks" + " (" + "too short");
                '''),
            [])

    def test_flag_help_is_skipped_but_its_validator_error_counts(self):
        self.assertEqual(
            self.fragments('''
                add(&Flags::host,
                    "host",
                    "Hosting process name ('master' or 'agent').",
                    [](const Option<std::string>& value) -> Option<Error> {
                      if (value.isNone()) {
                        return Error("'host' is required");
                      }
                      return None();
                    });
                add(&Flags::lifetime, "lifetime", "How long it lasts.",
                    Option<Error>(Error("'lifetime' must be positive")));
                '''),
            ["'host' is required", "'lifetime' must be positive"])

    def test_descriptors_static_asserts_and_vlog_are_skipped(self):
        self.assertEqual(
            self.fragments('''
                Module<Hook> hook(MESOS_MODULE_API_VERSION, MESOS_VERSION,
                                  "Corvanta", "Secrets Hook module.");
                static_assert(ROWS > 0, "Every action needs a row");
                VLOG(1) << "Copying asset '" << source << "' to here";
                LOG(INFO) << "Skipping permission fetch for principal";
                '''),
            ["Skipping permission fetch for principal"])

    def test_message_constants_count_wherever_they_are(self):
        self.assertEqual(
            self.fragments('''
                constexpr char KEY_FAILURE[] = "Failed to retrieve the key";
                const Words WORDS{"Failed to generate JWT", "Failed to exchange it"};
                '''),
            ["Failed to retrieve the key", "Failed to generate JWT",
             "Failed to exchange it"])


class CheckTest(unittest.TestCase):

    SOURCE = '''
        void f()
        {
          LOG(WARNING) << "Dropping the first message from " << from;

          return Error("Failed to copy file '" + source + "' to '" +
                       destination + "': " + error);
        }
        '''

    def test_passes_when_every_fragment_is_in_the_document(self):
        tree = Tree(self.SOURCE, '''
            * `Dropping the first message from <sender>` (WARNING)
            * `Failed to copy file '<source>' to
              '<destination>': <reason>`
            ''')
        try:
            code, out = tree.check()
        finally:
            tree.close()
        self.assertEqual(0, code, out)

    def test_reports_each_missing_fragment_with_file_and_line(self):
        tree = Tree(self.SOURCE, '''
            * `Dropping the first message from <sender>` (WARNING)
            * `Failed to copy '<source>'`
            ''')
        try:
            code, out = tree.check()
        finally:
            tree.close()
        self.assertEqual(1, code)
        self.assertIn(
            "common/module.cpp:6: not in docs/troubleshooting.md: "
            "Failed to copy file '", out)
        self.assertNotIn("Dropping the first message", out)

    def test_a_word_changed_in_the_source_is_reported(self):
        tree = Tree(self.SOURCE.replace("first", "second"), '''
            * `Dropping the first message from <sender>`
            * `Failed to copy file '<source>' to '<destination>': <reason>`
            ''')
        try:
            code, out = tree.check()
        finally:
            tree.close()
        self.assertEqual(1, code)
        self.assertIn("Dropping the second message from", out)

    def test_a_missing_document_fails(self):
        tree = Tree(self.SOURCE)
        os.remove(os.path.join(tree.root, "docs", "troubleshooting.md"))
        try:
            err = io.StringIO()
            with contextlib.redirect_stderr(err):
                code, _ = tree.check()
        finally:
            tree.close()
        self.assertEqual(1, code)
        self.assertIn("Cannot read", err.getvalue())

    def test_exceptions_are_skipped(self):
        tree = Tree('''
            const char NAME[] = "not a message at all";
            ''')
        check_messages.EXCEPTIONS["not a message at all"] = "a test"
        try:
            self.assertEqual([], tree.fragments())
        finally:
            del check_messages.EXCEPTIONS["not a message at all"]
            tree.close()


class SourceTreeTest(unittest.TestCase):

    def test_the_module_sources_hold_messages(self):
        # The extraction must find the messages of the real sources; an
        # empty result would let every change of them pass unseen.
        root = os.path.normpath(
            os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", ".."))
        found = {fragment for _, _, fragment in check_messages.fragments(root)}
        self.assertIn("Failed to parse parameters:", found)
        self.assertIn("Failed to retrieve Sentrel public key", found)
        self.assertIn("'host' is required", found)
        self.assertGreater(len(found), 150)


if __name__ == "__main__":
    unittest.main()
