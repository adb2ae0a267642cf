import java.io.IOException;
import java.io.PrintStream;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.Path;
import java.util.regex.Matcher;
import java.util.regex.Pattern;
import java.util.regex.PatternSyntaxException;

/**
 * Writes the golden table of Java's regular-expression results that the C++ translation
 * is tested against: for every pattern and input, whether the first match (find() from
 * the start, no flags) exists, where it is and the text of every group.
 *
 * Output, one row per line, fields separated by TAB:
 *   pattern  input  invalid
 *   pattern  input  nomatch
 *   pattern  input  match  start  end  groupCount  group1 ... groupN
 * A group is "-" when it took no part in the match, else "=" followed by its text.
 * Patterns, inputs and group texts are escaped: a backslash as \\, a TAB and every
 * character outside 0x20..0x7E as \\uXXXX (UTF-16 units). Lines starting with # are comments.
 *
 * Run: java tools/regex-golden/GenerateGolden.java tests/data/java-regex-golden.tsv
 */
public final class GenerateGolden {

    // The extraction expressions of the instrument presets.
    static final String[] PRESETS = {
        "([-+]?\\s*[0-9]*[\\.,]?[0-9]+)",
        "([\\dA-Z]+)",
        "([] !\"#$%&'()*+,-./\\d:;<=>?@A-Z\\[\\\\^_`a-z{|}~]+)",
        "([-+]+[0-9]*[\\.,]?[0-9]+)",
        "([-+]?\\s*[0-9]*[\\.,]?[0-9]+)kg",
        "Wt\\s?([-+]?\\s*[0-9]*[\\.,]?[0-9]+)",
        "([-+]?\\s*[0-9]*[\\.,]?[0-9]+)\\s?(pcs)",
        "([-+]?\\s*[0-9]*[\\.,]?[0-9]+)\\s?(kg|g|lb|oz|pcs|ct|d|GN|ozt|dwt|MM|TlH|TlC|Tlt|t|N|g2|TlJ)",
        "^N.*?(-?\\s*[0-9]*[\\.,]?[0-9]+)\\s*kg",
        "^N:\\s*([0-9]*\\.?[0-9]+)",
        "([+-]+\\d*\\.?\\d+)",
        "01A([-+]?\\s*[0-9]*[\\.,]?[0-9]+)",
        "([-+]?\\s*[0-9]*\\.+[0-9]+)",
        "\\(\\s*([0-9]*)\\)",
        "Wg,([-+]?\\s*[0-9]*[\\.,]?[0-9]+)",
        "^0(-?\\s+[0-9]*\\.?[0-9]+)",
    };

    // Expressions users might write, and the corners of the syntax.
    static final String[] CUSTOM = {
        // anchors and line ends
        "^", "$", "^$", "^.*$", "^(.*)$", "(.*)$", "(.+)$", "$(.)", "(\\d+)$", "\\d$", "(\\s)$",
        "(.)\\z", "(.)\\Z", "\\A(\\w+)", "^(\\w+)", "x^", "(?:^|,)(\\d+)",
        // dot and line terminators
        "(.)", "(.*)", "(.+)", "a.b", "(.)(.)$", "([^a])", "([^\\n])", "(.*?)\\r", "(.*)\\R", "(.*)\\R\\n",
        "\\R", "(\\R)", "(\\r\\n|\\r|\\n)",
        // predefined classes
        "(\\s+)", "(\\S+)", "(\\d+)", "(\\D+)", "(\\w+)", "(\\W+)", "(\\h+)", "(\\H+)", "(\\v+)", "(\\V+)",
        "([\\s]+)", "([^\\s]+)", "([\\S\\d]+)", "([\\W]+)", "(\\p{Alpha}+)", "(\\p{Punct}+)", "(\\p{Space}+)",
        "(\\p{L}+)", "(\\p{Lu}+)", "(\\p{IsL}+)", "(\\pL+)", "(\\P{L}+)", "(\\p{Cntrl}+)", "(\\p{XDigit}+)",
        "(\\p{Graph}+)", "(\\p{Print}+)", "([\\p{L}\\d]+)", "(\\p{Sc})", "(\\p{N}+)", "(\\p{Lower}+)",
        "(\\p{IsPunct}+)", "(\\p{gc=Nd}+)", "(\\p{L1}+)",
        // word boundaries (Java 17: letters and digits in the Unicode sense)
        "\\b(\\w+)\\b", "\\b(\\d+)", "(\\d+)\\b", "\\B(\\d)", "(\\S+)\\b", "\\b(.)", "(.)\\b", "\\b",
        // classes
        "([]a]+)", "([^]a]+)", "([a-]+)", "([-a]+)", "([a\\-z]+)", "([\\d-z]+)", "([+-]+)", "([.,]+)",
        "([\\[\\]]+)", "([a-c[x-z]]+)", "([[0-9]]+)", "([\\x41-\\x43]+)", "([\\u00e0-\\u00ff]+)",
        "([\\0101\\0102]+)", "([^\\x00-\\x7f]+)", "([\\x80-\\xff]+)", "([^\\d\\s]+)", "([a&b]+)",
        "([\\v-\\r]+)", "([\\Q]-\\E]+)", "([\\\\]+)", "([^\\r\\n]+)",
        // quantifiers
        "(a*)", "(a+)", "(a?)", "(a{2})", "(a{2,})", "(a{1,3})", "(a{1,3}?)", "(a+?)", "(a*?)b", "(a++)",
        "(a*+)a", "(\\d{2,3})", "a{0}(b)", "(x*)*", "(a|ab)(c|bcd)(d*)", "{2}(a)", "(a)*{2}",
        // alternation and groups
        "(kg|g)", "(g|kg)", "(a)|(b)", "(a)|b", "(a)?(b)", "(?:(a)|b)+", "(a|b)+", "((a)|b)+", "(?:x(y)?)+",
        "(?<val>\\d+)", "(?<v>\\d)\\k<v>", "(\\d)\\1", "(\\d)(\\d)(\\d)(\\d)(\\d)(\\d)(\\d)(\\d)(\\d)(\\d)\\10",
        "(\\d)\\10", "\\2(a)", "(?=(\\d+))\\d", "(?!a)(.)", "(?<=,)(\\d+)", "(?<!\\d)(\\d)", "(?>a+)b",
        "(a)(?:b)(c)", "(a)|\\1", "(\\p{LD}+)", "(\\P{Lu}+)", "([\\p{Lu}\\d]+)", "([^\\p{L}]+)",
        "([\\x{100}-\\x{10ffff}]+)", "(\\P{all})", "([\\P{all}a]+)", "([^\\p{all}])", "(\\w)\\b{2}", "^*(a)",
        "(a)$?", "(?<=\\d{2})(\\w)", "(a{0,65535})", "a{0,65536}",
        // escapes
        "(\\u0041)", "(\\x41)", "(\\x{41})", "(\\0101)", "(\\01)", "(\\0377)", "(\\0400)", "(\\t)", "(\\e)",
        "(\\a)", "(\\f)", "(\\cA)", "(\\ca)", "(\\u00b0)", "\\u00b0(C)", "(\\x{b0})", "(\\x85)", "(\\u2028)",
        "(\\.)", "(\\$)", "(\\^)", "(\\Qa.b\\E)", "\\Q(\\E(a)", "(\\Q1\\E+)", "(\\#)", "(\\ )", "(})", "(])",
        "(a\\\\b)", "(\\u00c4)",
        // inline flags
        "(?i)abc", "(?i)(KG|g)", "(?i:a)(b)", "((?i)a)b", "(?i)a(?-i)b", "(?i-i)a", "(?)a", "(?-)a",
        "(?i)([a-c]+)", "(?i)([^a]+)", "(?i)([Z-a]+)", "(?i)(\\u00e9)", "(?i)(\\u00c9)", "(?i)(\\p{Lu}+)",
        "(?i)(\\P{Ll}+)", "(?i)(\\p{Lower}+)", "(?i)(\\w+)", "(?i)\\Q(Ab)\\E", "(?i)([\\x41-\\x43]+)",
        "(?s)(.+)", "(?s)(.)\\z", "(?s)(.)$", "(?m)^(\\w+)$", "(?m)(\\w+)$", "(?m)^", "(?m)(^.)", "(?m)$(.)",
        "(?m)(.)$", "(?m)(\\s)^", "(?d)(.+)$", "(?d)(.)$", "(?d)(.)\\Z", "(?md)^(.)", "(?md)(.)$",
        "(?ms)^(.+)$", "(?i)(\u00c9t)", "(?i)(?<n>k)g", "a(?i)*", "(?-u)a", "(?q)a", "(?i", "(?$)a",
        // invalid or refused
        "(", ")", "(a", "a)", "[a", "[]", "*a", "a**", "+", "?", "a{", "a{x}", "a{2", "a{3,2}", "{",
        "\\", "\\q", "\\x4", "\\xg1", "\\u12", "\\0", "\\08", "\\k<x>", "(?<1a>x)", "(?<a>x)(?<a>y)",
        "[z-a]", "[a-\\d]", "\\p{Foo}", "\\p{", "\\p{}", "[a&&b]", "[a-z&&[^aeiou]]", "\\p{javaLowerCase}",
        "(?x)a b", "(?u)a", "(?U)\\w", "(?c)a", "(?i)(a)\\1", "(?#c)a", "(?P<n>a)", "(*UTF)a", "\\X", "\\N{LATIN SMALL LETTER A}",
        "\\b{g}", "(?<=a+)b", "(?<=ab?)c", "\\E", "\\y",
    };

    // Inputs for every expression: line terminators of every kind, the control and
    // Latin-1 bytes a serial line can carry.
    static final String[] GENERIC_INPUTS = {
        "", "a", "ab", "aaab", "b", "abcd", "12.50 g\r", "+  12.50 g\r\n", "ST,GS,+  12.50 g\r",
        "x\n", "x\r", "x\r\n", "x\n\r", "\r\n", "\n\n", "x\u000B", "x\u000C", "x\u0085", "x\u2028", "x\u2029",
        "\r", "\n", "a\rb\nc", "A\tB", "\u0000\u0001\u001f\u007f", "\u0080\u0085\u00a0\u00b0\u00ff",
        "\u00e9t\u00e9 12", "caf\u00e9", "\u00c4rger 3 \u00b0C", "0.5\u00a0kg", "1 2", "-0,5",
        "]a[", "a-z", "a&b", "kg", "g2", "1234567890 1", "x y", "ABC-123 x\r", "\u00b5m 7", "A\u00aaB",
        "(12)", "\u00e95 6", "ABC", "(aB)", "Kg 5\r\n", "\u00c9T\u00c9", "aa", "abab", "xyxy", "ab,c", "ab\\b", "a.b", "a$b^",
    };

    // The sample lines of the instrument presets.
    static final String[] SAMPLE_INPUTS = {
        "ST, +00012.34 kg", "US, -00012,45 g", "ST, +00000101 PC", "ST, 12345,67 kg",
        "10/06/2016   03:52:47\r\n   UNIT PRICE        NET      TOTAL\r\n-------------------------------------\r\n"
            + "?      4.45/100g    0.058kg ?    2.58\r\n\r\n\r\n\r\n",
        "\r\n\r\nDATE   10/06/2016\r\nTIME   04:18:39\r\n\r\nUNIT\r\nPRICE ?   33.43/100g\r\n\r\n"
            + "NET.      1.234kg\r\n\r\nTOTAL ?  412.53\r\n\r\n\r\n\r\n",
        "   1.234kg\r\n", "  1.9999 kg\n", "  -1.8999 kg\n", "add:   A\n", "G/W:+ 60.24   kg\n\n\n\n",
        "Date   07/09/2010\r", "Time   16:20:15\r", "Scale ID         \r", "User ID          \r",
        "Gross Wt   0.0020 kg\r", "Net Wt     0.0845 kg\r", "NET  WEIGHT  3.3kg\n", "N  60.24 kg\n",
        "N:    0.404 kg\r", "   0.34 EUR/kg\r", "N:  4000 g\r", "DR,08,-99.998\r", "DR,02,+123.567\r",
        "DR,02,123.567\r", "01A+001.1920\r", "01A-001.1805", "+123.45", "P00, 12.3456\r\n", "12.3456",
        "P00, +012.3456", "021   001   15:27:00  06/29/16  IDENTITY VERIFIED FOR ID ( 999)",
        "{0,16,~0,1,MO,\"TL-280\",Wg,123,Pt,0", "{0,16,~0,1,MO,\"TL-280\",Wg,-12.3,Pt,0", "\nA    2.10",
        "0    2.45", "4-    0.35", "14/06/2016 13:26:35", "1", "B@G", "12 pcs\r\n", "5.5 g2\n", "3 TlJ\r",
        "N 1.5 kg\r\n", "Wt 12.5 kg\r", "Wt-3\r",
    };

    static String escape(String s) {
        StringBuilder sb = new StringBuilder();
        for (int i = 0; i < s.length(); i++) {
            char c = s.charAt(i);
            if (c == '\\')
                sb.append("\\\\");
            else if (c >= 0x20 && c <= 0x7E)
                sb.append(c);
            else
                sb.append(String.format("\\u%04X", (int) c));
        }
        return sb.toString();
    }

    static void rows(PrintStream out, String pattern, String[]... inputSets) {
        Pattern p;
        try {
            p = Pattern.compile(pattern);
        } catch (PatternSyntaxException e) {
            out.println(escape(pattern) + "\t\tinvalid");
            return;
        }
        for (String[] inputs : inputSets) {
            for (String input : inputs) {
                Matcher m = p.matcher(input);
                StringBuilder sb = new StringBuilder();
                sb.append(escape(pattern)).append('\t').append(escape(input)).append('\t');
                if (!m.find()) {
                    sb.append("nomatch");
                } else {
                    sb.append("match\t").append(m.start()).append('\t').append(m.end());
                    sb.append('\t').append(m.groupCount());
                    for (int g = 1; g <= m.groupCount(); g++) {
                        String text = m.group(g);
                        sb.append('\t').append(text == null ? "-" : "=" + escape(text));
                    }
                }
                out.println(sb);
            }
        }
    }

    public static void main(String[] args) throws IOException {
        try (PrintStream out = args.length > 0
                ? new PrintStream(Files.newOutputStream(Path.of(args[0])), false, StandardCharsets.US_ASCII)
                : new PrintStream(System.out, false, StandardCharsets.US_ASCII)) {
            out.println("# Java regular-expression results (java.util.regex, no flags, first find()).");
            out.println("# Generated by tools/regex-golden/GenerateGolden.java with Java "
                    + System.getProperty("java.version") + "; do not edit.");
            for (String p : PRESETS)
                rows(out, p, GENERIC_INPUTS, SAMPLE_INPUTS);
            for (String p : CUSTOM)
                rows(out, p, GENERIC_INPUTS);
        }
    }
}
