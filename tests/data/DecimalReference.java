// Writes decimal_reference.tsv: reference results of exact decimal arithmetic, produced
// once with a Java 17 runtime and read by the Decimal tests.
//   javac -d /tmp DecimalReference.java && java -cp /tmp DecimalReference > decimal_reference.tsv
import java.math.BigDecimal;
import java.math.RoundingMode;

public class DecimalReference {
    static final RoundingMode[] MODES = {RoundingMode.CEILING, RoundingMode.DOWN, RoundingMode.FLOOR,
        RoundingMode.HALF_DOWN, RoundingMode.HALF_EVEN, RoundingMode.HALF_UP, RoundingMode.UP};

    static String result(java.util.function.Supplier<BigDecimal> op) {
        try {
            BigDecimal r = op.get();
            return r.unscaledValue() + "\t" + r.scale();
        } catch (ArithmeticException e) {
            return "ArithmeticException\t-";
        }
    }

    public static void main(String[] args) {
        String[] values = {"0", "-0.00", "1", "-1", "0.5", "-0.5", "1.5", "-1.5", "2.5", "-2.5", "0.05",
            "-0.05", "12.345", "-12.345", "12.355", "-12.355", "1.45", "-1.45", "1.451", "-1.449", "0.0049",
            "-0.0049", "9.995", "-9.995", "999.9999", "-999.9999", "0.001", "-0.001", "123456789012345678.5",
            "-123456789012345678.5", "9223372036854775807.5", "-9223372036854775808.5",
            "12345678901234567890123456789.55", "-12345678901234567890123456789.55", "1E3", "-2.5E-1",
            "5E-30", "-5E-30", "0.00000000000000000000000015"};
        int[] scales = {0, 1, 2, 3, -1};
        System.out.println("# op\ta\tb\tscale\tmode\tunscaled\tscale");
        for (String v : values) {
            BigDecimal a = new BigDecimal(v);
            for (int s : scales)
                for (RoundingMode m : MODES)
                    System.out.println("setScale\t" + v + "\t-\t" + s + "\t" + m + "\t" + result(() -> a.setScale(s, m)));
        }
        String[][] pairs = {{"10", "3"}, {"-10", "3"}, {"10", "-3"}, {"1", "8"}, {"-1", "8"}, {"5", "2"},
            {"-5", "2"}, {"7", "2"}, {"2.5", "0.5"}, {"1", "0.3"}, {"12.5", "1E2"}, {"1E-20", "3"},
            {"-1E-20", "3"}, {"123456789012345678901234567890", "7"}, {"1", "123456789012345678901234567890"},
            {"9223372036854775807", "0.1"}, {"0", "3"}, {"1", "0"}, {"0", "0"}, {"100", "4"}, {"10", "4"}};
        int[] dscales = {0, 2, 3, 7};
        for (String[] p : pairs) {
            BigDecimal a = new BigDecimal(p[0]);
            BigDecimal b = new BigDecimal(p[1]);
            for (int s : dscales)
                for (RoundingMode m : MODES)
                    System.out.println("divide\t" + p[0] + "\t" + p[1] + "\t" + s + "\t" + m + "\t" + result(() -> a.divide(b, s, m)));
        }
        String[][] mpairs = {{"1250", "0.001"}, {"12.5", "2"}, {"-0.5", "0.5"}, {"1E3", "1.5"},
            {"9223372036854775807", "10"}, {"-4611686018427387904", "2"}, {"12.50", "-1.0"},
            {"123456789012345678901234567890", "1E-40"}, {"0.000", "5"}};
        for (String[] p : mpairs) {
            BigDecimal a = new BigDecimal(p[0]);
            BigDecimal b = new BigDecimal(p[1]);
            System.out.println("multiply\t" + p[0] + "\t" + p[1] + "\t-\t-\t" + result(() -> a.multiply(b)));
            System.out.println("subtract\t" + p[0] + "\t" + p[1] + "\t-\t-\t" + result(() -> a.subtract(b)));
            System.out.println("compare\t" + p[0] + "\t" + p[1] + "\t-\t-\t" + a.compareTo(b) + "\t-");
        }
        String[] texts = {"12.50", "+12.50", "-0.00", "0012.500", "1.", ".5", "-.5", "1E3", "1e+3", "1.5E-1",
            "-1.50e2", "0E5", "123456789012345678901234567890.123", "1E-10000", "1E10000", "9223372036854775807",
            "9223372036854775808", "-9223372036854775808", "-9223372036854775809"};
        for (String t : texts) {
            BigDecimal a = new BigDecimal(t);
            System.out.println("plain\t" + t + "\t-\t-\t-\t" + (a.toPlainString().length() > 60 ? "len" + a.toPlainString().length() : a.toPlainString()) + "\t" + a.scale() + "\t" + a.precision());
        }
    }
}
